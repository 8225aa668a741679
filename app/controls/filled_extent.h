// How much of a progress track is filled.
#pragma once

// (pos - lower) * length / (upper - lower), computed in double precision from the integer
// operands and truncated toward zero, kept within 0 to length. Equal limits fill nothing.
int FilledExtent(int pos, int lower, int upper, int length);
