// The engine's one fill callback: chunks of the input zero-padded at its end, and the head that the
// start-up check reads ahead, handed out again before the rest so that a pipe is read only once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/file_input.h"
#include "engine/input_source.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kChunk = qelp::kInputChunkBytes;

// A file with `size` bytes that differ from their neighbours, read from its start.
std::FILE* file_of(size_t size, Bytes& bytes) {
  bytes.resize(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xff);
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return nullptr;
  std::fwrite(bytes.data(), 1, size, f);
  std::rewind(f);
  return f;
}

// The same as a raw stream's source (which closes the file).
std::unique_ptr<qelp::InputSource> input_of(size_t size, Bytes& bytes) {
  std::FILE* f = file_of(size, bytes);
  return f != nullptr ? std::make_unique<qelp::RawFileSource>(f) : nullptr;
}

// Takes chunks until the input ends; what they hold, padding included.
Bytes take_to_end(qelp::FileInput& in) {
  Bytes got;
  for (int guard = 0; guard < 100000 && !in.ended; ++guard) {
    uint8_t* start = nullptr;
    uint8_t* end = nullptr;
    qelp::file_fill_callback(&in, &start, &end);
    EXPECT_EQ(static_cast<size_t>(end - start), kChunk);
    got.insert(got.end(), start, end);
  }
  return got;
}

TEST(FileInput, ChunksCarryTheFileThenZeros) {
  Bytes bytes;
  qelp::FileInput in;
  auto source = input_of(3 * kChunk + 100, bytes);
  ASSERT_NE(source, nullptr);
  in.source = source.get();
  const Bytes got = take_to_end(in);
  ASSERT_EQ(got.size(), 4 * kChunk);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin()));
  EXPECT_TRUE(std::all_of(got.begin() + bytes.size(), got.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(in.real_bytes, bytes.size());
}

// The check reads part of the input into the head; the replay hands out every byte once, in order.
TEST(FileInput, AKeptHeadIsHandedOutAgainBeforeTheRest) {
  for (const size_t head_bytes : {size_t{1}, kChunk - 1, kChunk, 2 * kChunk + 5}) {
    SCOPED_TRACE(head_bytes);
    Bytes bytes;
    Bytes head(64 * 1024);
    qelp::FileInput in;
    auto source = input_of(5 * kChunk + 17, bytes);
    ASSERT_NE(source, nullptr);
    in.source = source.get();
    in.head = head.data();
    in.head_capacity = static_cast<uint32_t>(head.size());
    in.keep_head = true;
    Bytes checked;
    while (checked.size() < head_bytes) {
      uint8_t* start = nullptr;
      uint8_t* end = nullptr;
      qelp::file_fill_callback(&in, &start, &end);
      checked.insert(checked.end(), start, end);
    }
    EXPECT_FALSE(in.ended);
    EXPECT_TRUE(std::equal(checked.begin(), checked.end(), bytes.begin()));

    qelp::file_input_replay_head(in);
    EXPECT_EQ(in.real_bytes, 0u);
    const Bytes got = take_to_end(in);
    ASSERT_GE(got.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin())) << "no byte lost or doubled";
    EXPECT_EQ(in.real_bytes, bytes.size());
  }
}

// While the head is kept, a full head is the end of the input; the replay then goes on past it.
TEST(FileInput, AFullHeadEndsTheCheckButNotTheInput) {
  Bytes bytes;
  Bytes head(kChunk + 10);
  qelp::FileInput in;
  auto source = input_of(4 * kChunk, bytes);
  ASSERT_NE(source, nullptr);
  in.source = source.get();
  in.head = head.data();
  in.head_capacity = static_cast<uint32_t>(head.size());
  in.keep_head = true;
  const Bytes checked = take_to_end(in);
  EXPECT_TRUE(in.ended);
  EXPECT_EQ(in.real_bytes, head.size());
  ASSERT_EQ(checked.size(), 2 * kChunk);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + head.size(), checked.begin()));
  EXPECT_TRUE(std::all_of(checked.begin() + head.size(), checked.end(), [](uint8_t b) { return b == 0; }));

  qelp::file_input_replay_head(in);
  const Bytes got = take_to_end(in);
  ASSERT_EQ(got.size(), 5 * kChunk);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin()));
  EXPECT_EQ(in.real_bytes, bytes.size());
}

}  // namespace
