// Nothing lost, even when interrupted: qelp under signals, kills and size limits leaves valid files;
// a normalization cut off is finished by the next run; inputs and outputs that are not files say
// what they are; streams that are not plain AC-3 are named, never decoded as if they were.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using cli_test::shell;
using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::read_wave;

// A long stream (the 2-second fixture, 300 times over: 10 minutes), so that a signal comes in the
// middle of the conversion.
std::string long_stream(const std::string& dir, int repeats = 300) {
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));
  std::vector<uint8_t> bytes;
  for (int i = 0; i < repeats; ++i) bytes.insert(bytes.end(), clean.begin(), clean.end());
  const std::string path = dir + "/long.ac3";
  qelp_test::write_bytes(path, bytes);
  return path;
}

// Shell words that wait until the file at path holds at least bytes (or 20 s have passed).
std::string when_written(const std::string& path, long bytes) {
  return "n=0; while [ \"$(stat -c %s '" + path + "' 2>/dev/null || echo 0)\" -lt " + std::to_string(bytes) +
         " ] && [ $n -lt 2000 ]; do sleep 0.01; n=$((n+1)); done; ";
}

// A WAVE file cut off at some moment: readable, its header claiming no more than the file holds,
// whole 16-bit stereo frames.
void expect_readable(const std::string& path) {
  const auto wave = read_wave(path);
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.format_tag, 1u);
  EXPECT_LE(wave.data_offset + uint64_t{wave.data_size}, wave.file_size);
  EXPECT_EQ(wave.data_size % 6144, 0u);
  EXPECT_EQ(wave.riff_size, wave.data_offset - 8 + wave.data_size);
}

TEST(QelpNothingLost, EveryStopSignalEndsTheConversionInOrder) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string in = long_stream(dir);
  for (const char* signal : {"TERM", "HUP", "INT"}) {
    SCOPED_TRACE(signal);
    const std::string out = dir + "/stopped.wav";
    shell("rm -f '" + out + "'");
    const auto r = shell("{qelp} convert -yq '" + in + "' '" + out + "' & p=$!; " +
                         when_written(out, 2000000) + "kill -" + signal + " $p; wait $p; echo $?");
    EXPECT_EQ(r.out, "130\n") << r.err;
    EXPECT_NE(r.err.find("cancelled; " + out + " holds the "), std::string::npos) << r.err;
    const auto wave = read_wave(out);
    ASSERT_TRUE(wave.ok) << wave.error;
    EXPECT_EQ(wave.data_offset + uint64_t{wave.data_size}, wave.file_size);  // closed with its real sizes
    EXPECT_GT(wave.data_size, 0u);
  }
}

TEST(QelpNothingLost, AReaderThatGoesAwayStopsTheConversionInOrder) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string in = long_stream(dir);
  const auto r = shell("({qelp} convert -q '" + in + "' -; echo $? > '" + dir +
                       "/status') | head -c 100000 >/dev/null; cat '" + dir + "/status'");
  EXPECT_EQ(r.out, "130\n") << r.err;
  EXPECT_NE(r.err.find("cancelled; standard output holds the "), std::string::npos) << r.err;
}

TEST(QelpNothingLost, AKilledConversionLeavesAReadableFile) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string in = long_stream(dir);
  int cut = 0;
  const std::string out = dir + "/killed.wav";
  for (const std::string& moment : {std::string("sleep 0.02; "), when_written(out, 1000000),
                                    when_written(out, 30000000), when_written(out, 70000000)}) {
    SCOPED_TRACE(moment);
    shell("rm -f '" + out + "'; {qelp} convert -yq '" + in + "' '" + out + "' & p=$!; " + moment +
          "kill -KILL $p; wait $p");
    // Killed before the output was made, there is no file at all: nothing half-made.
    if (shell("test -e '" + out + "'").status != 0) continue;
    expect_readable(out);
    if (read_wave(out).data_size > 0) ++cut;
  }
  EXPECT_GT(cut, 0) << "no kill came while audio was written";
}

TEST(QelpNothingLost, TheFileSizeLimitEndsWithFileTooLargeAndAValidFile) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string in = long_stream(dir);
  const std::string out = dir + "/limited.wav";
  // The shell counts the limit in 512-byte blocks: 2048000 bytes.
  const auto r = shell("ulimit -f 4000; {qelp} convert -y '" + in + "' '" + out + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  const auto wave = read_wave(out);
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.data_offset + uint64_t{wave.data_size}, wave.file_size);
  EXPECT_GT(wave.file_size, 2048000u - 65536);
  EXPECT_LE(wave.file_size, 2048000u);
}

TEST(QelpNothingLost, ANamedPipeAsInputIsRefusedAtOnce) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string fifo = dir + "/pipe.ac3";
  ASSERT_EQ(shell("mkfifo '" + fifo + "'").status, 0);
  for (const std::string& command :
       {"convert '" + fifo + "' '" + dir + "/out.wav'", "info '" + fifo + "'", "play '" + fifo + "'"}) {
    SCOPED_TRACE(command);
    // Without a writer an open would wait for ever: timeout's 124 would say so.
    const auto r = shell("timeout 5 {qelp} " + command);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("it is a named pipe (FIFO)"), std::string::npos) << r.err;
  }
  // The pipe given as standard input works as ever.
  const auto r = shell("cat '" + data_path("stereo_48k_192.ac3") + "' > '" + fifo +
                       "' & {qelp} convert -q - '" + dir + "/piped.wav' < '" + fifo + "'");
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(QelpNothingLost, DevNullIsAThrowAwayOutput) {
  const auto r = shell("{qelp} convert '" + data_path("stereo_48k_192.ac3") + "' /dev/null");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("-> /dev/null: 0:02.0 of audio"), std::string::npos) << r.out;
}

TEST(QelpNothingLost, SymbolicLinksThatLeadNowhereSayWhatTheyAre) {
  const std::string dir = qelp_test::scratch_dir();
  shell(
      "cd '" + dir +
      "' && ln -s missing/x.wav dangling.wav && ln -s loop_b.wav loop_a.wav && ln -s loop_a.wav loop_b.wav");
  auto r = shell("{qelp} convert -y '" + data_path("stereo_48k_192.ac3") + "' '" + dir + "/dangling.wav'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is a symbolic link to missing/x.wav, which does not exist"), std::string::npos)
      << r.err;
  r = shell("{qelp} convert -y '" + data_path("stereo_48k_192.ac3") + "' '" + dir + "/loop_a.wav'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is a symbolic link that leads round in a loop"), std::string::npos) << r.err;
  // A link to a file is written through.
  shell("cd '" + dir + "' && touch target.wav && ln -s target.wav good.wav");
  r = shell("{qelp} convert -yq '" + data_path("stereo_48k_192.ac3") + "' '" + dir + "/good.wav'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_wave(dir + "/target.wav").ok);
}

TEST(QelpNothingLost, StreamsThatAreNotPlainAc3AreNamed) {
  const std::string dir = qelp_test::scratch_dir();
  auto r = shell("{qelp} convert '" + data_path("eac3_48k_192.eac3") + "' '" + dir + "/e.wav'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is E-AC-3 (Dolby Digital Plus), which qelp does not decode"), std::string::npos) << r.err;
  r = shell("{qelp} info '" + data_path("eac3_48k_192.eac3") + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("E-AC-3"), std::string::npos) << r.err;

  // 48 kHz frames, then 44.1 kHz ones.
  std::vector<uint8_t> bytes = read_bytes(data_path("stereo_48k_192.ac3"));
  const std::vector<uint8_t> other = read_bytes(data_path("stereo_44k_192.ac3"));
  bytes.insert(bytes.end(), other.begin(), other.end());
  qelp_test::write_bytes(dir + "/rates.ac3", bytes);
  r = shell("{qelp} convert -y '" + dir + "/rates.ac3' '" + dir + "/rates.wav'");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(
      r.out.find("58 of 121 frames are at another sampling rate than the file's 48000 Hz and are silent"),
      std::string::npos)
      << r.out;
  EXPECT_EQ(read_wave(dir + "/rates.wav").sample_rate, 48000u);
  r = shell("{qelp} info '" + dir + "/rates.ac3'");
  EXPECT_NE(r.out.find("other rate      58 frames not at 48000 Hz"), std::string::npos) << r.out;
}

// A file of 16-bit stereo PCM for qelp normalize (4 minutes, 46 MB), made by converting a stream.
std::string pcm_file(const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name;
  EXPECT_EQ(shell("{qelp} convert -yq '" + long_stream(dir, 120) + "' '" + path + "'").status, 0);
  return path;
}

TEST(QelpNothingLost, ANormalizationStoppedOrKilledIsFinishedByTheNextRun) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string original = pcm_file(dir, "original.wav");
  const std::string reference = dir + "/reference.wav";
  shell("cp '" + original + "' '" + reference + "'");
  ASSERT_EQ(shell("{qelp} normalize -q '" + reference + "'").status, 0);
  const std::vector<uint8_t> expected = read_bytes(reference);

  const std::string file = dir + "/cut.wav";
  for (const char* how : {"INT", "TERM", "KILL"}) {
    for (const char* moment : {"0.1", "0.3", "0.6"}) {
      SCOPED_TRACE(std::string(how) + " after " + moment);
      shell("cp '" + original + "' '" + file + "'");
      const auto stopped = shell("{qelp} normalize -q '" + file + "' & p=$!; sleep " + moment + "; kill -" +
                                 how + " $p; wait $p; echo $?");
      // 130: stopped in order; 0: done before the signal; 130 or 143 from the shell: the signal came
      // before qelp had set up its handlers (nothing was changed then). The bytes tell the rest.
      if (std::string(how) != "KILL") {
        EXPECT_TRUE(stopped.out == "130\n" || stopped.out == "0\n" || stopped.out == "143\n")
            << stopped.out << stopped.err;
      }
      const bool cut = shell("test -e '" + file + ".qelpnorm'").status == 0;
      const auto again = shell("{qelp} normalize '" + file + "'");
      EXPECT_EQ(again.status, 0) << again.err;
      if (cut) {
        EXPECT_NE(again.err.find("finished the normalization that was cut off after"), std::string::npos)
            << again.err;
      }
      EXPECT_EQ(read_bytes(file), expected);
      EXPECT_NE(shell("test -e '" + file + ".qelpnorm'").status, 0);
    }
  }
}

}  // namespace
