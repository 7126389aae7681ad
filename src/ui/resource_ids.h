// Resource identifiers of the program, shared by the resource script and the code.
#pragma once

#define IDI_VESTRAND 1
