#include "normalize_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qelp {

namespace {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'P', 'N', 'R', 'M', '1'};
constexpr size_t kSlotBytes = 1024;
// A slot: the magic, the record, a checksum over both.
constexpr size_t kSlotUsed = sizeof kMagic + sizeof(NormJournalRecord) + sizeof(uint64_t);
static_assert(kSlotUsed <= kSlotBytes);
// The record has no padding: every byte that is written and checked is a field's.
static_assert(sizeof(NormJournalRecord) == 7 * 8 + 10 * 4 + 2 * 8 * kJournalMaxParts);
constexpr char kSuffix[] = ".qelpnorm";

uint64_t mix(uint64_t h, uint64_t w) {
  h ^= w;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

void encode_slot(const NormJournalRecord& r, unsigned char* slot) {
  std::memset(slot, 0, kSlotBytes);
  std::memcpy(slot, kMagic, sizeof kMagic);
  std::memcpy(slot + sizeof kMagic, &r, sizeof r);
  const uint64_t sum = journal_hash(slot, sizeof kMagic + sizeof r);
  std::memcpy(slot + sizeof kMagic + sizeof r, &sum, sizeof sum);
}

bool decode_slot(const unsigned char* slot, NormJournalRecord* r) {
  if (std::memcmp(slot, kMagic, sizeof kMagic) != 0) return false;
  uint64_t sum = 0;
  std::memcpy(&sum, slot + sizeof kMagic + sizeof *r, sizeof sum);
  if (sum != journal_hash(slot, sizeof kMagic + sizeof *r)) return false;
  std::memcpy(r, slot + sizeof kMagic, sizeof *r);
  return r->parts <= static_cast<uint32_t>(kJournalMaxParts);
}

bool write_slot(int fd, const NormJournalRecord& r) {
  unsigned char slot[kSlotBytes];
  encode_slot(r, slot);
  const off_t at = static_cast<off_t>((r.sequence & 1u) * kSlotBytes);
  return ::pwrite(fd, slot, kSlotBytes, at) == static_cast<ssize_t>(kSlotBytes);
}

}  // namespace

int journal_parts(uint32_t data_offset, uint64_t done, uint32_t n, uint32_t* lengths) {
  int parts = 0;
  uint64_t at = uint64_t{data_offset} + done;  // file offset
  uint32_t left = n;
  while (left > 0 && parts < kJournalMaxParts) {
    const uint32_t to_boundary = kJournalPageBytes - static_cast<uint32_t>(at % kJournalPageBytes);
    uint32_t length = left < to_boundary ? left : to_boundary;
    // The last part takes what is left, should a piece ever span more pages than it may.
    if (parts + 1 == kJournalMaxParts) length = left;
    lengths[parts] = length;
    ++parts;
    at += length;
    left -= length;
  }
  return parts;
}

uint64_t journal_hash(const unsigned char* data, size_t n) {
  uint64_t h = 0x6A09E667F3BCC908ull ^ n;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = mix(h, w);
  }
  uint64_t tail = 0;
  for (size_t k = 0; i < n; ++i, ++k) tail |= uint64_t{data[i]} << (8 * k);
  return mix(mix(h, tail), n);
}

NormJournal::~NormJournal() {
  if (fd_ >= 0) ::close(fd_);
}

bool NormJournal::path_for(const char* wav_path, char* out, size_t size) {
  const int n = std::snprintf(out, size, "%s%s", wav_path, kSuffix);
  return n > 0 && static_cast<size_t>(n) < size;
}

int NormJournal::load(const char* wav_path, NormJournalRecord* record, char* why, size_t why_size) {
  char path[1100];
  if (!path_for(wav_path, path, sizeof path)) return 0;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return 0;
    std::snprintf(why, why_size, "%s", std::strerror(errno));
    return -1;
  }
  unsigned char slots[2 * kSlotBytes] = {};
  const ssize_t got = ::pread(fd, slots, sizeof slots, 0);
  ::close(fd);
  NormJournalRecord a;
  NormJournalRecord b;
  const bool a_ok = got >= static_cast<ssize_t>(kSlotBytes) && decode_slot(slots, &a);
  const bool b_ok = got >= static_cast<ssize_t>(2 * kSlotBytes) && decode_slot(slots + kSlotBytes, &b);
  // The first record is complete before any sample changes, and later records go into the slots
  // in turn, so a torn write spoils one slot at most: without any valid record, the run was cut
  // off before it changed anything, and the journal is as good as none.
  if (!a_ok && !b_ok) return 0;
  *record = a_ok && (!b_ok || a.sequence > b.sequence) ? a : b;
  return 1;
}

bool NormJournal::create(const char* wav_path, NormJournalRecord& first, char* why, size_t why_size) {
  if (!path_for(wav_path, path_, sizeof path_)) {
    std::snprintf(why, why_size, "the path is too long");
    return false;
  }
  fd_ = ::open(path_, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    std::snprintf(why, why_size, "%s", std::strerror(errno));
    return false;
  }
  // A journal taken over keeps its sequence going, so that its newest record stays the newest.
  NormJournalRecord old;
  char ignored[64];
  sequence_ = load(wav_path, &old, ignored, sizeof ignored) == 1 ? old.sequence : 0;
  if (!write(first) || ::fdatasync(fd_) != 0) {
    std::snprintf(why, why_size, "%s", std::strerror(errno != 0 ? errno : EIO));
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

bool NormJournal::write(NormJournalRecord& record) {
  if (fd_ < 0) return false;
  record.sequence = ++sequence_;
  return write_slot(fd_, record);
}

bool NormJournal::remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  return ::unlink(path_) == 0 || errno == ENOENT;
}

void NormJournal::discard(const char* wav_path) {
  char path[1100];
  if (path_for(wav_path, path, sizeof path)) ::unlink(path);
}

}  // namespace qelp
