// qelpsnd — the conversion engine: AC-3 in, stereo WAVE out, normalizer, preview player.
//
// Each engine object has a decoder, writer, normalizer and player of its own, so several objects may
// convert, normalize and preview at the same time, each on its own thread. One object's operations
// run on the caller's thread (one thread at a time per object); its normalizer runs on its own.
// Members added after the first release follow the original ones, so that their offsets stay.
#pragma once

#include <cstdint>

#if defined(QELPSND_BUILDING)
#define QELPSND_API __attribute__((visibility("default")))
#else
#define QELPSND_API
#endif

// Reasons a conversion, normalization or playback could not start or go on. Read after an
// operation reported failure through CQelpsnd::m_lastError / m_lastErrorText.
enum QelpsndError : int32_t {
  QELP_OK = 0,
  QELP_ERR_ARGUMENT = 1,      // a path or text too long, or otherwise unusable
  QELP_ERR_INPUT = 2,         // the AC-3 file cannot be opened or read
  QELP_ERR_OUTPUT = 3,        // the WAVE file cannot be created, written or closed
  QELP_ERR_CANCELLED = 4,     // the user cancelled the format chooser
  QELP_ERR_CODEC = 5,         // the codec manager failed (no format, no stream, conversion error)
  QELP_ERR_SAME_FILE = 6,     // the output would overwrite the input
  QELP_ERR_EXISTS = 7,        // the output exists and overwriting was refused
  QELP_ERR_SIZE_LIMIT = 8,    // the data would pass the 4 GiB RIFF size limit
  QELP_ERR_BUSY = 9,          // another conversion, normalization or playback holds the file
  QELP_ERR_MEMORY = 10,       // an allocation failed
  QELP_ERR_DEVICE = 11,       // the sound device cannot be opened or used
  QELP_ERR_STATE = 12,        // the operation does not fit the engine's state
};

// Receives the engine's and decoder's diagnostic lines. stream is 1 for what goes to standard output
// by default, 2 for standard error. Installed with qelpsnd_set_diagnostics; nullptr restores the default.
// One sink serves the whole process: it is called on the thread of whichever object (or normalizer
// worker) writes the line, so with objects at work on several threads it must be thread-safe.
using QelpsndDiagnosticSink = void (*)(int stream, const char* text, void* user);

namespace qelp {
struct EngineParts;
}

class QELPSND_API CQelpsnd {
 public:
  CQelpsnd();
  ~CQelpsnd();
  // A copy takes the other's settings and counters; its decoder, writer, normalizer and player are
  // its own.
  CQelpsnd(const CQelpsnd& other);
  CQelpsnd& operator=(const CQelpsnd& other);

  // The path "-" stands for the standard input (SetInFile) or output (SetOutFile): the input is
  // read once, front to back; on an output that cannot seek the WAVE header carries the largest
  // RIFF and data sizes, as it cannot be rewritten at the end.
  // The input is told by its content, not its name: a raw AC-3 stream; a WAVE file of IEC 61937
  // bursts carrying AC-3 (unwrapped by the engine); or a container — Matroska/WebM, MP4/MOV, MPEG
  // program stream (DVD .vob), MPEG transport stream (.ts, .m2ts), AVI — whose AC-3 track the
  // demuxing module (qelp_demux_ffmpeg.so, loaded only for such files) hands to the engine's own
  // decoder. m_inputSize and m_inputPosition count the file's bytes, a container's included.
  // Streams in other codecs (E-AC-3, DTS, TrueHD, AAC, ...) are refused by InitEncoder and
  // StartPlayer with a line naming the codec. The standard input is always a raw AC-3 stream.
  int SetInFile(char* path);
  int SetOutFile(char* path);
  int SetNormalizeOn();
  int SetNormalizeOff();
  void SetAmplifyDBLevel(char* text);
  void SetSurround(int on);

  // Which audio track of a container InitEncoder and StartPlayer take: 0 (the default) the first
  // AC-3 track, else track n counted from 1 in the container's order, as qelpsnd_tracks numbers
  // them. A raw stream and a burst file have one track. Kept until changed; SetInFile leaves it.
  void SetTrack(int track);
  int GetTrack() const;

  int InitEncoder();
  int DecodeFrame();
  void Terminate();

  void StartNormalize();
  int GetScanned();
  int GetNormed();
  bool GetNormState();
  // How the last normalization ended: QELP_NORM_IDLE when none was started, QELP_NORM_RUNNING while
  // the worker runs, else the worker's exit code (0 completed, 1 failed with nothing changed, 2 failed
  // in pass 2 with the file partly amplified, 3 no amplification required, 4 no memory for the
  // table, 5 stopped in pass 2 by StopNormalize). A failure is also recorded in m_lastError /
  // m_lastErrorText. After 2 and 5, and after any cut-off run (a kill, a crash), a journal beside the
  // file (its name with ".qelpnorm" added) records the run; the next StartNormalize on the file
  // finishes that run, with its gain, from where it stopped, instead of starting a new one.
  int GetNormExit();
  // Asks the running normalization to stop at the next 64 KiB piece, also in pass 2 (exit code 5,
  // the journal current). Does nothing when none runs.
  void StopNormalize();

  int StartPlayer();
  int PlayNextFrame();
  int StopPlayer();

  // Data members, all public and in this order: the program reads the counters directly.
  unsigned char m_memoryInput[2048];  // decoder input when no AC-3 file is open; nothing fills it
  unsigned char m_pcmFrame[6144];     // the frame the last DecodeFrame or PlayNextFrame produced
  int32_t m_normalize;                // 1: StartNormalize starts the worker
  char m_inPath[1024];                // AC-3 file
  char m_outPath[1024];               // WAVE file
  char m_amplify[8];                  // gain in dB for fixed amplification; empty or <= 0: peak
  int32_t m_surround;                 // non-zero: surround-compatible fold-down
  uint32_t m_bytesDecoded;            // grows by 6144 on every DecodeFrame and PlayNextFrame call
  uint32_t m_outputBytes;             // bytes written to the WAVE data chunk so far
  uint32_t m_inputPosition;           // read position in the AC-3 file after the last call
  uint32_t m_inputSize;               // size of the AC-3 file in bytes

  // The last failure: a QelpsndError code and a line that says what failed and which file.
  // Set by every operation that fails; cleared by SetInFile, InitEncoder, StartNormalize, StartPlayer.
  int32_t m_lastError;
  char m_lastErrorText[1400];

  // What the conversion found in its input, counted over the frames written so far. Cleared by
  // InitEncoder, updated by every DecodeFrame and by Terminate.
  uint32_t m_framesMuted;      // frames that failed their CRC or checks and were written as silence
  int32_t m_firstMutedFrame;   // index of the first of them in the output (frame k starts at sample
                               // pair 1536 x k), -1 when none
  uint64_t m_bytesSkipped;     // input bytes the frame search passed over: junk before, between
                               // and after the frames
  uint64_t m_bytesAfterLast;   // of m_bytesSkipped, those behind the last frame (padding or a cut;
                               // no frame is lost there), known once DecodeFrame has returned 0
  uint64_t m_samplesClipped;   // samples the fold-down went beyond full scale with, limited to it
  uint32_t m_samplingRate;     // the stream's and the output's sampling rate in Hz, set by InitEncoder
  uint32_t m_framesOtherRate;  // of m_framesMuted, the frames at another sampling rate than the
                               // output's (a stream whose rate changes part-way): silent, never
                               // written at the wrong speed
  uint32_t m_framesEac3;       // E-AC-3 frames inside the AC-3 stream, passed over (not decoded)

  // The byte counters above in 64 bits, updated with them. m_outputBytes, m_inputPosition and
  // m_inputSize stop at 0xFFFFFFFF (m_bytesDecoded wraps, as it always did); these go on, for
  // inputs and outputs past 4 GiB (an output that passes the RIFF limit is written as RF64).
  uint64_t m_bytesDecoded64;
  uint64_t m_outputBytes64;
  uint64_t m_inputPosition64;
  uint64_t m_inputSize64;

 private:
  friend struct qelp::EngineParts;
  qelp::EngineParts* m_parts;  // the reader, writer, normalizer and player of this object
};

// What an AC-3 file holds, from its frames' syncinfo and bit stream information.
struct QelpsndStreamInfo {
  uint32_t sampling_rate;  // Hz, of the first good frame
  uint32_t bit_rate;       // kbit/s, of the first good frame
  uint32_t frames;         // AC-3 frames a conversion delivers (with scan_all; else 1 when one
                           // was found): decoded ones and those that are silent
  uint32_t crc_failures;   // of those, frames whose CRC check failed
  uint32_t bad_headers;    // sync words followed by a reserved sampling rate or frame size code
  uint64_t junk_bytes;     // bytes outside syncframes (before, between and after them)
  int32_t acmod, lfeon, bsmod, cmixlev, surmixlev, dsurmod, dialnorm;
  int32_t langcode, langcod;
  char layout[16];        // "3/2", "2/0", "1+1", ...
  char language[32];      // empty when no language is given
  char service[48];       // the service text for bsmod
  uint32_t eac3_frames;   // E-AC-3 frames (bsid 11 to 16), which are not decoded
  uint32_t unknown_bsid;  // frames with a bsid this decoder does not know (9, 10, 17 and up):
                          // counted in frames, silent in a conversion
  uint32_t other_rate;    // frames at another sampling rate than the first good frame's:
                          // counted in frames, silent in a conversion
};

// Reads an AC-3 file's frame headers without decoding audio: all frames when scan_all is non-zero,
// else up to the first good frame. Returns 1, or 0 with *error_text filled (what failed, which file)
// when the file cannot be read or holds no frame. It uses a decoder of its own, so it may run beside
// conversions and previews.
extern "C" QELPSND_API int qelpsnd_stream_info(const char* path, int scan_all, QelpsndStreamInfo* info,
                                               char* error_text, int error_size);

// The same for an input's audio track (0: the first AC-3 track; n: track n, as qelpsnd_tracks
// numbers them). Fails with error_text naming the codec for a track qelp does not decode.
extern "C" QELPSND_API int qelpsnd_track_stream_info(const char* path, int track, int scan_all,
                                                     QelpsndStreamInfo* info, char* error_text,
                                                     int error_size);

// One audio track of an input, as qelpsnd_tracks lists it.
struct QelpsndTrackInfo {
  int32_t number;          // 1, 2, ... in the container's order: what SetTrack and qelp --track take
  int32_t convertible;     // 1 when the engine decodes it (AC-3 whose frames pass their checks)
  char codec[32];          // "AC-3", "E-AC-3", "DTS", "TrueHD", "AAC", or the container's name for it
  char layout[24];         // AC-3: from its frames ("3/2 + LFE"); others: "6 channels" as the
                           // container says; "" when not known
  uint32_t sampling_rate;  // Hz; 0 when not known
  char language[16];       // as the container (or the AC-3 frames) give it, "eng"; "" when none
  double duration;         // seconds (AC-3: its frames x 1536 / rate); negative when not known
  uint32_t frames;         // AC-3 frames counted; 0 for other codecs
  char note[200];          // why it cannot be converted ("E-AC-3, which qelp does not decode"), or ""
  char container[64];      // what holds it: the container format's name, "IEC 61937 bursts in
                           // WAVE", or "" for a raw stream
};

// Lists the audio tracks of the file at path: a container's, read through the demuxing module (the
// whole file, for durations); one for a raw AC-3 stream or a WAVE file of IEC 61937 bursts. Fills
// at most capacity entries of tracks. Returns the number of tracks (0: a container without audio),
// or -1 with error_text saying what failed and which file (not readable, no AC-3 stream, ...).
extern "C" QELPSND_API int qelpsnd_tracks(const char* path, QelpsndTrackInfo* tracks, int capacity,
                                          char* error_text, int error_size);

// What the start-up check of engine's last successful InitEncoder found in its input: the first
// good frame's description (frames, crc_failures, bad_headers and junk_bytes are not counted).
// Returns 1, or 0 with *info zeroed when engine has opened no conversion yet (or engine is null).
extern "C" QELPSND_API int qelpsnd_conversion_stream(const CQelpsnd* engine, QelpsndStreamInfo* info);

// What the WAVE writers of all engine objects do with an existing output file: 0 asks on standard
// input (the default), 1 overwrites it, 2 refuses it.
extern "C" QELPSND_API void qelpsnd_set_overwrite(int policy);

// What the normalizer found and did in its last run, for callers that show more than progress.
enum : int32_t { QELP_NORM_IDLE = -2, QELP_NORM_RUNNING = -1 };
struct QelpsndNormResult {
  int32_t exitCode;   // as CQelpsnd::GetNormExit
  int32_t error;      // QelpsndError of a failure, QELP_OK otherwise
  int32_t fixed;      // 1: fixed amplification, no pass 1
  int32_t bits;       // 8 or 16 (0 when the file was not opened)
  int32_t minimum;    // pass 1: smallest and largest sample, peak magnitude
  int32_t maximum;
  int32_t peak;
  double gainDb;         // gain applied in pass 2, in dB
  uint64_t processed;    // data bytes rewritten
  char message[2600];    // the worker's last line: what failed, or "Done.", or "No amplification required;
                         // exiting."
  uint64_t clipped;      // samples a fixed amplification took beyond full scale, limited to it
                         // (peak normalization never clips)
  int32_t resumed;       // 1: the run finished an interrupted run found in the file's journal (with
                         // that run's gain, not the one asked for)
  uint64_t resumedFrom;  // data bytes that run had rewritten
};

// 1 when path names a regular file that holds AC-3 audio: a frame that passes its CRC check within
// its first MiB, the test InitEncoder applies to its input. 0 otherwise (also for "-", folders,
// devices and files that cannot be read); -1 when it cannot be told (no memory for the scan's
// decoder). It may be asked while conversions or previews run. Hosts use it to never write over an
// AC-3 file (any non-zero: keep it).
extern "C" QELPSND_API int qelpsnd_holds_ac3(const char* path);

// The library's version, "MAJOR.MINOR.PATCH".
extern "C" QELPSND_API const char* qelpsnd_version();

// The demuxing module for containers, loaded if it is not yet: its file and the libavformat version
// it runs with, or "not loaded: " and why. Loading it costs a few milliseconds.
extern "C" QELPSND_API const char* qelpsnd_demux_module();

extern "C" QELPSND_API int fnQelpsnd();
extern "C" QELPSND_API int nQelpsnd;
extern "C" QELPSND_API void qelpsnd_set_diagnostics(QelpsndDiagnosticSink sink, void* user);
// Fills result with the outcome of the normalization started last in the process (by any engine
// object, also one that is gone) once its worker has ended; returns 1 then, 0 (and only exitCode
// set) while it runs or when none was started.
extern "C" QELPSND_API int qelpsnd_norm_result(QelpsndNormResult* result);
