// The [Config] settings, one row each: how the settings file reads, corrects and writes a value, and
// the label and field that show it on the settings dialog's page «Прочее». Loading, saving and the
// dialog all go through this table, so a further setting is one more row.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "engine/backup_settings.h"

namespace vestrand {

enum class ConfigKind {
    Number, // an integer: a number field with a spin button
    Text,   // free text: a plain edit field
    Folder, // a folder, read with a trailing separator: a read-only folder field
};

struct ConfigBox {
    int x, y, width, height;
};

struct ConfigSetting {
    const char* key; // in [Config]
    int place;       // the field's place on the page, from the top: its tab order, and the control
                     // identifiers of its label and field (kConfigLabelId and kConfigFieldId + place)
    ConfigKind kind;
    // A Number: the value when the key is missing or not an integer, the bounds a loaded value is
    // brought into, and the number field's MinValue and MaxValue (equal: no range, any value is kept).
    int32_t defaultNumber;
    int64_t loadMin, loadMax;
    int64_t fieldMin, fieldMax;
    int64_t (*number)(const BackupSettings&);
    void (*setNumber)(BackupSettings&, int64_t);
    // Text and Folder: the value when the key is missing, and where it is kept.
    const char* defaultText;
    std::string BackupSettings::*text;
    // The dialog: the label's caption and where the label and the field stand on the page.
    const char* label;
    ConfigBox labelBox, fieldBox;
    // Loading writes the corrected value back even when the key is missing (a later setting is
    // written back only when the file has it, so that a file without it stays as it was).
    bool writtenWhenMissing = true;
};

inline constexpr int kConfigLabelId = 1130;
inline constexpr int kConfigFieldId = 1140;

// The rows in the order of the settings file.
std::span<const ConfigSetting> ConfigSettings();

// A loaded value brought into the row's bounds.
int64_t ClampLoaded(const ConfigSetting& setting, int64_t value);

} // namespace vestrand
