// Lower-casing of single code points where the lower-case letter has a one-to-one partner: Latin,
// Greek and Cyrillic. Enough for the letters of the Windows single-byte code pages.
#pragma once

char32_t SimpleLowerCodePoint(char32_t codePoint);
