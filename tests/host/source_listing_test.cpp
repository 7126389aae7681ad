// The listings of the source walk made ahead on one thread and taken by comparing on another.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/source_listing.h"

using namespace vestrand;

TEST(ListingQueue, HandsListingsOverInTheOrderAskedDroppingFoldersNotEnteredAndServingNoneItCannot) {
    struct Case {
        size_t byteLimit;
        std::vector<std::wstring> made, asked;
        std::vector<bool> served;
        int put; // listings the maker could hand on
    } cases[] = {
        // The taker did not enter x (dropped with what lies in it); the maker skipped y\z (listed by
        // the taker itself), and what follows is served again.
        {1 << 20,
         {L"A\\", L"A\\x\\", L"A\\x\\d\\", L"A\\y\\", L"B\\"},
         {L"A\\", L"A\\y\\", L"A\\y\\z\\", L"B\\"},
         {true, true, false, true},
         5},
        // A full queue that does not hold the folder asked for is closed: the maker stops.
        {1, {L"A\\", L"A\\x\\", L"B\\", L"C\\"}, {L"A\\", L"B\\", L"C\\"}, {true, false, false}, 2},
    };
    for (const auto& c : cases) {
        ListingQueue queue(c.byteLimit);
        int put = 0;
        std::thread maker([&] {
            for (const auto& folder : c.made) {
                FolderListing listing(folder);
                listing.Add(folder + L"entry", 7, 8, 16, 9);
                listing.SetOutcome(true, 0);
                if (!queue.Put(std::move(listing)))
                    break;
                ++put;
            }
            queue.Finish();
        });
        for (size_t i = 0; i < c.asked.size(); ++i) {
            const auto listing = queue.Take(c.asked[i]);
            ASSERT_EQ(listing.has_value(), c.served[i]) << i;
            if (listing) {
                ASSERT_EQ(listing->Entries().size(), 1u);
                const auto& e = listing->Entries()[0];
                EXPECT_EQ(listing->NameOf(e), c.asked[i] + L"entry");
                EXPECT_EQ(e.time + e.size + e.attr + e.written, 7 + 8 + 16 + 9);
            }
        }
        queue.Close();
        maker.join();
        EXPECT_EQ(put, c.put);
    }
}
