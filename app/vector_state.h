// The processor's vector registers between the toolkit and the engine.
#pragma once

// Marks the upper halves of the AVX registers unused (vzeroupper) on processors that have them;
// elsewhere nothing. Qt's painting leaves them in use, and the engine's SSE code that runs next
// then pays for every instruction: on the AMD EPYC this was measured on, the inverse transform and
// the fold-down took three times as long in the program as in qelp. Called before engine work
// that follows the event loop.
void ClearUpperVectorState();
