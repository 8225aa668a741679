// Everything one CQelpsnd object works with besides its public members: its failure record, what it
// is doing, its reader (with the decoder), its writer, its normalizer and its player. Objects share
// none of it, so each may convert, normalize or play on a thread of its own.
//
// Counters that belong to one conversion live with the part that counts them: the decoder says of
// each frame whether it was muted and how many samples it clipped (its decoded_frame); the reader
// counts the input and adds up what it delivered (frames, damaged frames and the first of them,
// skipped bytes, clipped samples); the writer counts the output (its data bytes, and the sample
// frames for the fact chunk). InitEncoder starts each of them afresh.
#pragma once

#include "ac3_reader.h"
#include "failure.h"
#include "input_source.h"
#include "normalizer_link.h"
#include "output_wavefile.h"
#include "player.h"
#include "qelpsnd.h"

namespace qelp {

// What an engine object is doing: a conversion and a preview share its reader and never overlap.
enum class EngineActivity { idle, converting, playing };

struct EngineParts {
  explicit EngineParts(CQelpsnd& engine)
      : failure(engine.m_lastError, engine.m_lastErrorText, sizeof engine.m_lastErrorText),
        reader(failure),
        writer(failure),
        player(failure) {}
  EngineParts(const EngineParts&) = delete;
  EngineParts& operator=(const EngineParts&) = delete;

  // The object's parts; for the engine's own files and for tests.
  static EngineParts& of(CQelpsnd& engine) { return *engine.m_parts; }
  static const EngineParts& of(const CQelpsnd& engine) { return *engine.m_parts; }

  Failure failure;  // the object's m_lastError / m_lastErrorText
  EngineActivity activity = EngineActivity::idle;
  CAc3Reader reader;
  COutputWavefile writer;
  Normalizer normalizer;
  CPlayer player;
  TrackChoice track;  // SetTrack: the audio track InitEncoder and StartPlayer take

  // What the start-up check of the last successful InitEncoder found (qelpsnd_conversion_stream).
  QelpsndStreamInfo conversion_stream{};
  bool conversion_stream_known = false;
};

}  // namespace qelp
