#pragma once
// The zip container of a package: reading entries of an existing file, and writing a new file
// whose untouched entries are copied from the source still compressed (byte for byte), whose
// changed entries come from memory or from a producer that streams them piece by piece. The
// new file is written beside the target and renamed over it only when complete.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct zip;

namespace brelix::xlsx {

//! The largest entry the engine unpacks into memory; larger declared sizes are refused before
//! anything is allocated.
inline constexpr std::uint64_t kMaxEntrySize = std::uint64_t{1} << 31;

class ZipReader {
 public:
  //! Opens the zip file; throws EXlsxError naming the file when it cannot be read or is not a
  //! zip file.
  explicit ZipReader(const std::filesystem::path& file);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  const std::string& FileName() const { return file_; }
  //! The entry names in the order they are stored (without a leading "/").
  const std::vector<std::string>& Names() const { return names_; }
  //! The stored name of a part name, found exactly or else without regard to ASCII case (part
  //! names are case-insensitive); empty when there is no such entry.
  std::string Find(std::string_view name) const;
  bool Has(std::string_view name) const { return !Find(name).empty(); }
  //! The unpacked entry; throws EXlsxError naming the file and the entry when it is missing,
  //! larger than kMaxEntrySize or damaged.
  std::string Read(std::string_view name) const;

  //! How an entry is stored: its CRC, compressed size and compression method (0 stored,
  //! 8 deflated).
  struct EntryInfo {
    std::uint32_t crc = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t size = 0;
    std::uint16_t method = 0;
    friend bool operator==(const EntryInfo&, const EntryInfo&) = default;
  };
  //! The storage of the entry; throws EXlsxError when it is missing.
  EntryInfo Info(std::string_view name) const;

  zip* Handle() const { return archive_; }
  std::int64_t Index(std::string_view name) const;

 private:
  std::string file_;
  zip* archive_ = nullptr;
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::int64_t> index_;
  std::unordered_map<std::string, std::string> folded_;  // lower-case name -> stored name
};

//! Produces the next piece of an entry: appends some bytes to out and returns true, or returns
//! false when the entry is complete. It may throw; the save then fails with that error.
using ChunkProducer = std::function<bool(std::string& out)>;

class ZipWriter {
 public:
  //! Starts a new file that will replace target; creates a temporary file beside it. Throws
  //! EXlsxError naming the target when its folder is not writable.
  explicit ZipWriter(const std::filesystem::path& target);
  //! Removes the temporary file when Commit did not succeed.
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  //! Copies the entry of source as stored (compressed bytes, CRC and time unchanged).
  void CopyRaw(const ZipReader& source, std::string_view name);
  void Add(std::string_view name, std::string content);
  void AddStream(std::string_view name, ChunkProducer producer);
  //! Writes everything and renames the file over the target (an existing target keeps its
  //! permissions). Throws EXlsxError naming the target, or the producer's error.
  void Commit();

 private:
  struct Stream;
  void AddSource(std::string_view name, void* source, bool compress);
  [[noreturn]] void Fail(const std::string& what);

  std::filesystem::path target_;
  std::string temp_;
  zip* archive_ = nullptr;
  std::vector<std::unique_ptr<Stream>> streams_;
  std::vector<std::unique_ptr<std::string>> buffers_;
  bool committed_ = false;
};

}  // namespace brelix::xlsx
