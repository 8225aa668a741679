// A codec stream of the FFmpeg driver: 16-bit PCM in, resampled and reduced to what the encoder
// takes, encoded block by block; encoded bytes wait in a queue until the caller has room for them.
#pragma once

#include "ffmpeg_formats.h"

struct FfStream;

// ACMERR_NOTPOSSIBLE when dst is not exactly what this driver makes from src.
MMRESULT ff_stream_open(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, DWORD flags, void** stream);
MMRESULT ff_stream_size(void* stream, DWORD input, DWORD* output, DWORD flags);
MMRESULT ff_stream_convert(void* stream, ACMSTREAMHEADER* pash, DWORD flags);
void ff_stream_close(void* stream);
