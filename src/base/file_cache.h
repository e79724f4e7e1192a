#pragma once
// Values built from a file (a table read from it, an index mapped from it, a grid sorted from it), built
// once per program run and built again when the file changes. A file counts as changed when its size or
// its modification time differs: the time alone misses a file rewritten within the clock's resolution.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// One state of a file: its size and modification time.
struct FileStamp {
  std::uintmax_t size = 0;
  std::filesystem::file_time_type time{};
  bool operator==(const FileStamp&) const = default;
};

// The stamp of a file; nothing when it cannot be read (missing, not a file, no permission).
inline std::optional<FileStamp> StampOfFile(const std::string& path) {
  std::error_code ec;
  FileStamp stamp;
  stamp.time = std::filesystem::last_write_time(path, ec);
  if (ec) return std::nullopt;
  stamp.size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return stamp;
}

// Keeps values built from files, one per path and key (the key is whatever else the value was built
// from, e.g. the working list a table was filtered by). Get returns the kept value while the file's stamp
// and the key are unchanged; otherwise it calls build() and keeps what it returns unless that is null.
// A file that cannot be stamped is built every time and never kept. With a limit, the value kept longest
// is dropped first when a new one would exceed it (large tables are kept one at a time). Safe to share
// between threads; builds run one at a time, so two callers never build the same large value at once.
template <typename Value, typename Key = std::monostate>
class FileStampedCache {
 public:
  explicit FileStampedCache(std::size_t limit = 0) : limit_(limit) {}

  template <typename Build>
  std::shared_ptr<const Value> Get(const std::string& path, const Key& key, Build&& build) {
    std::lock_guard<std::mutex> lock(guard_);
    const std::optional<FileStamp> stamp = StampOfFile(path);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->path != path || !(it->key == key)) continue;
      if (stamp && it->stamp == *stamp) return it->value;
      entries_.erase(it);  // stale: release it before the new one is built
      break;
    }
    std::shared_ptr<const Value> value = std::forward<Build>(build)();
    if (value && stamp) {
      if (limit_ > 0 && entries_.size() >= limit_) entries_.erase(entries_.begin());
      entries_.push_back(Entry{path, key, *stamp, value});
    }
    return value;
  }

  template <typename Build>
  std::shared_ptr<const Value> Get(const std::string& path, Build&& build) {
    return Get(path, Key{}, std::forward<Build>(build));
  }

 private:
  struct Entry {
    std::string path;
    Key key;
    FileStamp stamp;
    std::shared_ptr<const Value> value;
  };
  std::size_t limit_;
  std::mutex guard_;
  std::vector<Entry> entries_;
};
