// The interface between the engine and the demuxing module (qelp_demux_ffmpeg.so), which reads the
// tracks of container files (Matroska, MP4/MOV, MPEG program and transport streams, AVI) with
// libavformat. The module only demuxes: it hands over a track's bytes as the container stores them
// and never opens a decoder. Plain C types, so that the module and the engine need not share a
// compiler's C++ ABI.
#pragma once

#include <cstdint>

#define QELP_DEMUX_INTERFACE_VERSION 1u
#define QELP_DEMUX_ENTRY_NAME "qelp_demux_entry"

// What a track's codec is, as far as the engine needs to tell them apart.
enum DemuxCodec : int32_t {
  kDemuxOther = 0,  // named by DemuxTrack::codec_name
  kDemuxAc3 = 1,
  kDemuxEac3 = 2,
  kDemuxDts = 3,
  kDemuxTrueHd = 4,
  kDemuxAac = 5,
  kDemuxMpegAudio = 6,
  kDemuxPcm = 7,
};

// One audio track of a container, in the container's order.
struct DemuxTrack {
  int32_t codec;         // DemuxCodec
  char codec_name[32];   // the codec's short name ("ac3", "eac3", "aac", "dts", ...)
  int32_t channels;      // from the container's header; 0 when it does not say
  int32_t sample_rate;   // Hz, from the container's header; 0 when it does not say
  char language[16];     // ISO 639-2 code as the container gives it ("eng"); "" when none
  double duration;       // seconds; negative when not known
};

struct DemuxHandle;

struct DemuxApi {
  uint32_t interface_version;  // QELP_DEMUX_INTERFACE_VERSION

  // Opens the file at path and finds its audio tracks. whole_file: read every packet to learn the
  // tracks' durations where the header does not give them (else only the file's first MiBs are
  // looked at, enough to find the tracks of a program stream). Returns a handle, or nullptr with
  // error (error_size bytes) saying why (the file is not a container libavformat knows, cannot be
  // read, ...).
  DemuxHandle* (*open)(const char* path, int whole_file, char* error, int error_size);
  // Number of audio tracks.
  int32_t (*track_count)(DemuxHandle* h);
  // Fills out with track index (0-based, audio tracks only). Returns 1, or 0 for no such track.
  int32_t (*track)(DemuxHandle* h, int32_t index, DemuxTrack* out);
  // Starts handing out the bytes of audio track index from the file's start. Returns 1, or 0 with
  // the reason in error.
  int32_t (*select)(DemuxHandle* h, int32_t index, char* error, int error_size);
  // Copies up to n of the selected track's next bytes into dest. Returns the count, 0 at the end of
  // the file, -1 when the file cannot be read further.
  int64_t (*read)(DemuxHandle* h, uint8_t* dest, int64_t n);
  // Bytes of the file read so far (the container's bytes, not the track's).
  uint64_t (*position)(DemuxHandle* h);
  void (*close)(DemuxHandle* h);
  // The libavformat version the module runs with, for --version.
  const char* (*versions)();
  // The container format's name as libavformat knows it ("Matroska / WebM", "MPEG-TS (MPEG-2
  // Transport Stream)"); valid while the handle is open.
  const char* (*format_name)(DemuxHandle* h);
};

using DemuxEntry = const DemuxApi* (*)();
