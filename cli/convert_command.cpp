// qelp convert: AC-3 streams to stereo WAVE files through the engine, one after another or several
// at once (-j), with a progress bar, a summary that tells the damage the input showed, and an exit
// status that says it.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "commands.h"
#include "conversion_summary.h"
#include "convert_plan.h"
#include "format_option.h"
#include "messages.h"
#include "options.h"
#include "parallel_batch.h"
#include "progress_bar.h"
#include "qelpsnd.h"
#include "stop_signals.h"

namespace {

// The normalizer's result is read back from the library's record of the last normalization in the
// process, so files converted side by side are normalized one at a time.
std::mutex g_one_normalization;

enum OptionId {
  kHelp, kOutputDir, kFormat, kSurround, kNormalize, kAmplify, kYes, kQuiet, kVerbose, kDebug, kJobs, kTrack
};

constexpr OptionDef kOptions[] = {
    {'h', "help", false, kHelp},         {'o', "output-dir", true, kOutputDir}, {'f', "format", true, kFormat},
    {'s', "surround", false, kSurround}, {'n', "normalize", false, kNormalize}, {'a', "amplify", true, kAmplify},
    {'y', "yes", false, kYes},           {'q', "quiet", false, kQuiet},         {'v', "verbose", false, kVerbose},
    {'\0', "debug", false, kDebug},     {'j', "jobs", true, kJobs},            {'t', "track", true, kTrack},
};

struct ConvertOptions {
  std::vector<std::string> arguments;
  std::string output_dir;    // -o DIR
  std::string format;        // --format
  bool surround = false;
  bool normalize = false;
  int amplify_db = -1;       // -1: no --amplify; 0: peak; 5..50: fixed gain
  bool yes = false;
  bool quiet = false;
  bool verbose = false;
  bool debug = false;
  unsigned jobs = 0;         // -j; 0: one per processor
  int track = 0;             // --track N; 0: the first AC-3 track
};

// What the file system says, for the plan.
class RealPathFacts : public PathFacts {
 public:
  bool is_directory(const std::string& path) const override {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  bool holds_ac3(const std::string& path) const override { return qelpsnd_holds_ac3(path.c_str()) != 0; }
};

bool file_exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string shown_name(const std::string& path, bool output) {
  if (path != "-") return path;
  return output ? "standard output" : "standard input";
}

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Asks on the terminal; false when the answer is not yes.
bool ask_overwrite(const std::string& path) {
  std::fprintf(stderr, "qelp: %s exists. Overwrite? [y/N] ", path.c_str());
  std::fflush(stderr);
  char answer[16] = {};
  if (std::fgets(answer, sizeof answer, stdin) == nullptr) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

// Reads the options; -1 to go on, else the exit status.
int parse(int argc, char** argv, ConvertOptions& o) {
  OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
  for (OptionReader::Item item = reader.next(); item.kind != OptionReader::Kind::end; item = reader.next()) {
    if (item.kind == OptionReader::Kind::error) return usage_error("convert", reader.error());
    if (item.kind == OptionReader::Kind::argument) {
      o.arguments.push_back(item.value);
      continue;
    }
    switch (item.id) {
      case kHelp:
        convert_usage(stdout);
        return kExitOk;
      case kOutputDir:
        o.output_dir = item.value;
        break;
      case kFormat:
        o.format = item.value;
        break;
      case kAmplify:
        if (!parse_amplify(item.value, &o.amplify_db)) return usage_error("convert", amplify_range_error(item.value));
        break;
      case kSurround:
        o.surround = true;
        break;
      case kNormalize:
        o.normalize = true;
        break;
      case kYes:
        o.yes = true;
        break;
      case kQuiet:
        o.quiet = true;
        break;
      case kVerbose:
        o.verbose = true;
        break;
      case kDebug:
        o.debug = true;
        break;
      case kJobs:
        if (!parse_jobs(item.value, &o.jobs)) {
          return usage_error("convert", "-j takes the number of files to convert at once, 1 to " +
                                            std::to_string(kMaxJobs) + ", not '" + item.value + "'");
        }
        break;
      case kTrack:
        if (!parse_track(item.value, &o.track)) return usage_error("convert", track_error(item.value));
        break;
    }
  }
  if (o.arguments.empty()) return usage_error("convert", "no input file given");
  if (o.normalize && o.amplify_db >= 0) {
    return usage_error("convert", "-n normalizes to the peak and --amplify applies a fixed gain; give one of them");
  }
  if (o.normalize) o.amplify_db = 0;
  if (o.amplify_db >= 0 && !o.format.empty() && !format_option_is_pcm(o.format.c_str())) {
    return usage_error("convert", "normalizing needs 8- or 16-bit PCM output, not '" + o.format + "'");
  }
  return -1;
}

// The progress detail: what was written, the speed, and the time left or, without a known input
// size, the time elapsed.
std::string progress_detail(const CQelpsnd& engine, uint32_t frames, double elapsed, double fraction) {
  char text[160];
  const double mb = engine.m_outputBytes / 1048576.0;
  const double audio = engine.m_samplingRate ? frames * 1536.0 / engine.m_samplingRate : 0.0;
  const double speed = elapsed > 0 ? audio / elapsed : 0.0;
  if (fraction < 0) {
    std::snprintf(text, sizeof text, "%.1f MB read  %.1f MB written  %s real time  %s elapsed",
                  engine.m_inputPosition / 1048576.0, mb, speed_text(speed).c_str(), format_duration(elapsed).c_str());
  } else if (fraction < 0.01) {
    // Too early to tell the time left.
    std::snprintf(text, sizeof text, "%.1f MB  %s real time", mb, speed_text(speed).c_str());
  } else {
    const double left = elapsed * (1.0 - fraction) / fraction;
    std::snprintf(text, sizeof text, "%.1f MB  %s real time  %s left", mb, speed_text(speed).c_str(),
                  format_duration(left).c_str());
  }
  return text;
}

// -v: what the stream is and the format it is written in.
void say_what_is_converted(const CQelpsnd& engine, const ConvertJob& job) {
  QelpsndStreamInfo info{};
  if (qelpsnd_conversion_stream(&engine, &info)) {
    std::string language = info.language[0] != '\0' ? std::string(", ") + info.language : std::string();
    note("%s: AC-3 %s%s, %u Hz, %u kbit/s, %s%s", shown_name(job.in, false).c_str(), info.layout,
         info.lfeon ? " + LFE" : "", info.sampling_rate, info.bit_rate, info.service, language.c_str());
  }
  note("%s: %s", shown_name(job.out, true).c_str(), format_option_taken());
}

// What may be done with an output, as the writers' overwrite policy (qelpsnd_set_overwrite).
enum OutputVerdict { kRefused = -1, kNoPolicy = 0, kOverwrite = 1, kNewFile = 2 };

// Makes sure the output may be written: never over AC-3 audio, over an existing file only when
// asked. Says why when it may not.
OutputVerdict check_output(const ConvertJob& job, const ConvertOptions& o) {
  if (job.out == "-") return kNoPolicy;
  if (qelpsnd_holds_ac3(job.out.c_str()) != 0) {
    say("%s holds AC-3 audio and is never written over; name another output", job.out.c_str());
    return kRefused;
  }
  if (!file_exists(job.out)) return kNewFile;
  // Nothing to ask about: a device such as /dev/null holds nothing that could be overwritten, and a
  // symbolic link that leads nowhere is refused by the engine with what it is.
  struct stat target {};
  if (stat(job.out.c_str(), &target) != 0 || S_ISCHR(target.st_mode)) return kOverwrite;
  if (o.yes || (job.in != "-" && isatty(STDIN_FILENO) && ask_overwrite(job.out))) return kOverwrite;
  say("%s exists; not overwritten (use -y to overwrite)", job.out.c_str());
  return kRefused;
}

// The engine's failure in qelp's voice, with what to do where there is something to do.
void say_engine_failure(const CQelpsnd& engine, const ConvertJob& job) {
  std::string text = in_our_voice(engine.m_lastErrorText, {job.in, job.out});
  switch (engine.m_lastError) {
    case QELP_ERR_SAME_FILE:
      text += "; name another output file";
      break;
    case QELP_ERR_BUSY:
      text += "; try again when it has finished";
      break;
    case QELP_ERR_SIZE_LIMIT:
      text += "; a compressed format (see 'qelp formats') holds more";
      break;
    default:
      break;
  }
  say("%s", text.c_str());
}

// Converts one file whose output check_output allowed. Shows its own progress bar, or, in a
// batch converted side by side, keeps `shared` up to date for the batch's bar. Returns the exit
// status for it.
int convert_one(CQelpsnd& engine, const ConvertJob& job, size_t index, size_t count, const ConvertOptions& o,
                FileProgress* shared) {
  std::vector<char> in_path(job.in.begin(), job.in.end());
  in_path.push_back('\0');
  std::vector<char> out_path(job.out.begin(), job.out.end());
  out_path.push_back('\0');
  if (engine.SetInFile(in_path.data()) != 0 || engine.SetOutFile(out_path.data()) != 0) {
    say_engine_failure(engine, job);
    return kExitFailed;
  }
  engine.SetSurround(o.surround ? 1 : 0);
  engine.SetTrack(o.track);
  char no_amplify[1] = {'\0'};
  engine.SetAmplifyDBLevel(no_amplify);

  if (!engine.InitEncoder()) {
    if (stop_requested()) return kExitInterrupted;
    say_engine_failure(engine, job);
    return kExitFailed;
  }
  if (o.verbose) say_what_is_converted(engine, job);

  ProgressBar bar(shared == nullptr && !o.quiet && isatty(STDERR_FILENO));
  const std::string name = base_name(shown_name(job.in, false));
  bar.set_label(count > 1 ? "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + name : name);
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  auto fraction = [&] {
    return engine.m_inputSize != 0 ? static_cast<double>(engine.m_inputPosition) / engine.m_inputSize : -1.0;
  };
  uint32_t frames = 0;
  while (engine.DecodeFrame()) {
    ++frames;
    if (stop_requested()) {
      engine.Terminate();  // closes the file with a valid header; said below
      break;
    }
    if (bar.enabled()) bar.update(fraction(), progress_detail(engine, frames, elapsed(), fraction()));
    if (shared != nullptr) {
      shared->input_bytes.store(engine.m_inputPosition, std::memory_order_relaxed);
      shared->output_bytes.store(engine.m_outputBytes, std::memory_order_relaxed);
      if (engine.m_samplingRate != 0) {
        shared->audio_seconds.store(frames * 1536.0 / engine.m_samplingRate, std::memory_order_relaxed);
      }
    }
  }
  if (stop_requested()) {
    // Stopped between frames, or while the input was being read (a read the signal interrupted
    // ends the input) or the last frame written: the file is closed, but it is not complete.
    bar.finish();
    say("cancelled; %s holds the %u frames converted so far", shown_name(job.out, true).c_str(), frames);
    return kExitInterrupted;
  }
  if (bar.enabled() && engine.m_lastError == QELP_OK) {
    bar.update(fraction() < 0 ? -1.0 : 1.0, progress_detail(engine, frames, elapsed(), fraction() < 0 ? -1.0 : 1.0), true);
  }
  bar.finish();
  if (engine.m_lastError != QELP_OK) {
    say_engine_failure(engine, job);
    return kExitFailed;
  }

  ConversionFacts facts;
  facts.in_name = shown_name(job.in, false);
  facts.out_name = shown_name(job.out, true);
  facts.frames = frames;
  facts.sampling_rate = engine.m_samplingRate;
  facts.output_bytes = engine.m_outputBytes;
  facts.elapsed_seconds = elapsed();
  facts.input_bytes = engine.m_inputPosition;
  facts.frames_muted = engine.m_framesMuted;
  facts.first_muted_frame = engine.m_firstMutedFrame;
  facts.bytes_skipped = engine.m_bytesSkipped;
  facts.bytes_after_last = engine.m_bytesAfterLast;
  facts.samples_clipped = engine.m_samplesClipped;
  facts.frames_other_rate = engine.m_framesOtherRate;
  facts.frames_eac3 = engine.m_framesEac3;
  if (!o.quiet) {
    tell("%s", summary_line(facts).c_str());
  } else if (input_damaged(facts)) {
    say("%s: %s", facts.in_name.c_str(), damage_text(facts).c_str());
  }
  const std::string hint = not_raw_hint(facts);
  if (!hint.empty()) say("%s", hint.c_str());
  if (!o.quiet && facts.samples_clipped != 0) say("%s: %s", facts.out_name.c_str(), fold_down_clip_text(facts).c_str());

  if (o.amplify_db >= 0) {
    std::lock_guard<std::mutex> one_at_a_time(g_one_normalization);
    const int normalized = normalize_file(engine, job.out.c_str(), o.amplify_db, o.quiet, base_name(job.out));
    if (normalized != kExitOk) return normalized;
  }
  return input_damaged(facts) ? kExitDamaged : kExitOk;
}

// The worse of two statuses: a failure over damage over success.
int worse(int a, int b) {
  auto rank = [](int s) { return s == kExitFailed ? 2 : s == kExitDamaged ? 1 : s == kExitOk ? 0 : 3; };
  return rank(b) > rank(a) ? b : a;
}

// The standard streams as input and output. Returns 0 to go on, else the exit status.
int check_standard_streams(const std::vector<ConvertJob>& jobs, const ConvertOptions& o) {
  for (const ConvertJob& job : jobs) {
    if (job.in == "-" && isatty(STDIN_FILENO)) {
      say("the standard input is a terminal; pipe an AC-3 stream into qelp or name an input file");
      return kExitUsage;
    }
    if (job.out == "-") {
      if (isatty(STDOUT_FILENO)) {
        say("will not write WAVE data to a terminal; redirect the standard output or name an output file");
        return kExitUsage;
      }
      if (o.amplify_db >= 0) {
        return usage_error("convert", "normalizing rewrites the file in place, which the standard output cannot be");
      }
      set_audio_on_stdout(true);
    }
  }
  return 0;
}

// How many files are converted at once: -j (the processors by default), no more than there are
// files, and one when the standard input or output takes part.
unsigned jobs_for(const std::vector<ConvertJob>& jobs, const ConvertOptions& o) {
  for (const ConvertJob& job : jobs) {
    if (job.in == "-" || job.out == "-") return 1;
  }
  const unsigned wanted = o.jobs != 0 ? o.jobs : processor_count();
  return jobs.size() < wanted ? static_cast<unsigned>(jobs.size()) : wanted;
}

uint64_t file_size(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

// The batch converted several files at once, each on an engine object and thread of its own. Every
// output is checked (and any question asked) first, in input order; the files' messages come in
// input order too. Returns the batch's exit status.
int convert_side_by_side(const std::vector<ConvertJob>& jobs, const ConvertOptions& o) {
  BatchRun run;
  run.files = jobs.size();
  run.jobs = jobs_for(jobs, o);
  run.early_lines.resize(jobs.size());
  std::vector<OutputVerdict> verdicts(jobs.size(), kRefused);
  bool overwrite = false;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (stop_requested()) return kExitInterrupted;  // Ctrl-C at a question: ask no more, convert nothing
    MessageHold hold(&run.early_lines[i]);
    verdicts[i] = check_output(jobs[i], o);
    overwrite = overwrite || verdicts[i] == kOverwrite;
    run.input_sizes.push_back(file_size(jobs[i].in));
  }
  // One policy serves all writers: overwriting when any existing output was allowed; files that
  // were refused are not converted at all.
  qelpsnd_set_overwrite(overwrite ? kOverwrite : kNewFile);
  run.convert = [&](size_t index, FileProgress& progress) {
    if (verdicts[index] == kRefused) return static_cast<int>(kExitFailed);
    auto engine = std::make_unique<CQelpsnd>();
    return convert_one(*engine, jobs[index], index, jobs.size(), o, &progress);
  };
  run.interrupted = [] { return stop_requested(); };
  run.show_bar = !o.quiet && isatty(STDERR_FILENO);
  const std::vector<int> statuses = run_batch(std::move(run));

  int status = kExitOk;
  for (const int one : statuses) {
    if (one == kExitInterrupted || one == kNotStarted) return kExitInterrupted;
    status = worse(status, one);
  }
  return status;
}

}  // namespace

void convert_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: qelp convert [OPTIONS] IN [OUT]\n"
               "       qelp convert [OPTIONS] IN... [-o DIR]\n"
               "\n"
               "Converts AC-3 audio to stereo WAVE files: raw AC-3 streams, the AC-3 tracks of\n"
               "Matroska, MP4/MOV, VOB/MPEG, TS/M2TS and AVI files, and WAVE files of IEC 61937 bursts.\n"
               "IN is written to OUT, or next to itself as IN with .wav. When OUT ends in .ac3 or holds\n"
               "AC-3 audio, it is an input too: then every argument is an input, each converted next to\n"
               "itself, or into DIR with -o DIR (or a folder named last). A file that holds AC-3 audio\n"
               "is never written over. '-' as IN reads a raw AC-3 stream from the standard input, as\n"
               "OUT writes the standard output.\n"
               "\n"
               "  -o, --output-dir DIR  write the WAVE files into DIR\n"
               "  -t, --track N         convert audio track N of a container, as 'qelp info' numbers\n"
               "                        them (default: the first AC-3 track)\n"
               "  -s, --surround        surround-compatible fold-down (surrounds in antiphase)\n"
               "  -f, --format FORMAT   output format as 'qelp formats' lists it (default: pcm16)\n"
               "  -n, --normalize       normalize the file to its peak afterwards\n"
               "  -a, --amplify DB      amplify the file by DB dB afterwards: %d to %d (0: to the peak)\n"
               "  -y, --yes             overwrite existing output files\n"
               "  -j, --jobs N          convert N files at once (default: one per processor)\n"
               "  -q, --quiet           no progress, and nothing said on success\n"
               "  -v, --verbose         say what the stream is, the format and the gain applied\n"
               "      --debug           show the engine's own trace\n"
               "  -h, --help            show this help\n"
               "\n"
               "Exit status: 0 done, every frame decoded cleanly; 1 a file failed; 2 wrong usage;\n"
               "3 written completely, but the input was damaged (silent frames, skipped bytes);\n"
               "130 interrupted.\n",
               kAmplifyMinDb, kAmplifyMaxDb);
}

int command_convert(int argc, char** argv) {
  ConvertOptions o;
  const int parsed = parse(argc, argv, o);
  if (parsed >= 0) return parsed;

  // Telling inputs from outputs scans files for AC-3 frames: the engine's trace stays quiet then too.
  show_engine_trace(o.debug);
  const RealPathFacts facts;
  const ConvertPlan plan = plan_conversions(o.arguments, o.output_dir, facts);
  if (!plan.error.empty()) return usage_error("convert", plan.error);
  if (!o.output_dir.empty() && !facts.is_directory(o.output_dir)) {
    say("output folder %s does not exist; create it first", o.output_dir.c_str());
    return kExitFailed;
  }
  const int streams = check_standard_streams(plan.jobs, o);
  if (streams != 0) return streams;

  if (format_option_install(o.format.c_str()) != 0) return kExitUsage;
  install_stop_signals();

  if (jobs_for(plan.jobs, o) > 1) return convert_side_by_side(plan.jobs, o);
  auto engine = std::make_unique<CQelpsnd>();
  int status = kExitOk;
  for (size_t i = 0; i < plan.jobs.size(); ++i) {
    if (stop_requested()) return kExitInterrupted;
    const OutputVerdict verdict = check_output(plan.jobs[i], o);
    if (verdict == kRefused) {
      status = worse(status, kExitFailed);
      continue;
    }
    if (verdict != kNoPolicy) qelpsnd_set_overwrite(verdict);
    const int one = convert_one(*engine, plan.jobs[i], i, plan.jobs.size(), o, nullptr);
    if (one == kExitInterrupted) return one;
    status = worse(status, one);
  }
  return status;
}
