/* Version and copyright, shared by the banner and the Windows version block. */
#pragma once
#define SUMVANE_VERSION_TEXT "1.3.1.1"
#define SUMVANE_VERSION_NUMBERS 1, 3, 1, 1
#define SUMVANE_COPYRIGHT "Copyright (C) 2026 Brackenfold"
