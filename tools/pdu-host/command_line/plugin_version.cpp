#include "command_line/plugin_version.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace pdu_host {
namespace {

constexpr char kNoteOwner[] = "snmp_varno_pdu";  // with its NUL: 15 bytes
constexpr std::uint32_t kNoteType = 1;
constexpr std::uint32_t kProgramNote = 4;  // PT_NOTE
constexpr std::uint64_t kMaxHeaders = 4096;
constexpr std::uint64_t kMaxNoteSegment = 1 << 20;
constexpr std::size_t kMaxVersionLength = 64;

// A file read piece by piece, each piece checked to lie inside it.
class ElfFile {
 public:
  explicit ElfFile(const std::string& path) : path_(path), in_(path, std::ios::binary) {
    if (!in_) Fail("cannot be opened");
    in_.seekg(0, std::ios::end);
    size_ = static_cast<std::uint64_t>(in_.tellg());
  }

  std::vector<unsigned char> Read(std::uint64_t offset, std::uint64_t length) {
    if (offset > size_ || length > size_ - offset) {
      Fail("is cut short or damaged (its headers point past its end)");
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in_) Fail("cannot be read");
    return bytes;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw PluginVersionError("plug-in " + path_ + " " + what);
  }

 private:
  std::string path_;
  std::ifstream in_;
  std::uint64_t size_ = 0;
};

// Unsigned integers of the file's byte order.
struct ByteOrder {
  bool big_endian = false;

  std::uint64_t At(const std::vector<unsigned char>& bytes, std::size_t offset,
                   std::size_t width) const {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const std::size_t index = big_endian ? offset + i : offset + width - 1 - i;
      value = (value << 8) | bytes.at(index);
    }
    return value;
  }
};

struct Segment {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t align = 0;
};

std::uint64_t PaddedTo(std::uint64_t length, std::uint64_t align) {
  return (length + align - 1) / align * align;
}

// The version note's text in one note segment; empty when it has none.
std::string VersionIn(const std::vector<unsigned char>& notes, const ByteOrder& order,
                      std::uint64_t align, ElfFile& file) {
  std::uint64_t at = 0;
  while (notes.size() - at >= 12) {
    const std::uint64_t name_size = order.At(notes, at, 4);
    const std::uint64_t desc_size = order.At(notes, at + 4, 4);
    const std::uint64_t type = order.At(notes, at + 8, 4);
    const std::uint64_t name_at = at + 12;
    const std::uint64_t desc_at = name_at + PaddedTo(name_size, align);
    const std::uint64_t next = desc_at + PaddedTo(desc_size, align);
    if (name_size > notes.size() || desc_size > notes.size() ||
        desc_at + desc_size > notes.size()) {
      file.Fail("has a damaged note");
    }
    const std::string name(notes.begin() + name_at, notes.begin() + name_at + name_size);
    if (type == kNoteType && name == std::string(kNoteOwner, sizeof kNoteOwner)) {
      std::string text(notes.begin() + desc_at, notes.begin() + desc_at + desc_size);
      text = text.substr(0, text.find('\0'));
      bool readable = !text.empty() && text.size() <= kMaxVersionLength;
      for (char c : text) readable = readable && c > ' ' && c < 0x7f;
      if (!readable) file.Fail("has a version note with no readable version in it");
      return text;
    }
    if (next > notes.size()) break;
    at = next;
  }
  return "";
}

}  // namespace

std::string ReadPluginVersion(const std::string& path) {
  ElfFile file(path);
  const std::vector<unsigned char> ident = file.Read(0, 16);
  if (ident[0] != 0x7f || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F') {
    file.Fail("is not an ELF file (not a plug-in)");
  }
  const bool wide = ident[4] == 2;  // ELFCLASS64
  if (ident[4] != 1 && !wide) file.Fail("is an ELF file of an unknown class");
  if (ident[5] != 1 && ident[5] != 2) file.Fail("is an ELF file of an unknown byte order");
  const ByteOrder order{ident[5] == 2};

  const std::vector<unsigned char> header = file.Read(0, wide ? 64 : 52);
  const std::uint64_t table_at = wide ? order.At(header, 32, 8) : order.At(header, 28, 4);
  const std::uint64_t entry_size = order.At(header, wide ? 54 : 42, 2);
  const std::uint64_t entries = order.At(header, wide ? 56 : 44, 2);
  if (entries > kMaxHeaders || entry_size < (wide ? 56u : 32u)) {
    file.Fail("has program headers of a size or number no plug-in has");
  }
  const std::vector<unsigned char> table = file.Read(table_at, entries * entry_size);

  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::size_t at = static_cast<std::size_t>(i * entry_size);
    if (order.At(table, at, 4) != kProgramNote) continue;
    Segment note;
    note.offset = wide ? order.At(table, at + 8, 8) : order.At(table, at + 4, 4);
    note.size = wide ? order.At(table, at + 32, 8) : order.At(table, at + 16, 4);
    note.align = wide ? order.At(table, at + 48, 8) : order.At(table, at + 28, 4);
    if (note.size > kMaxNoteSegment) file.Fail("has a note segment too large to be a plug-in's");
    const std::string version =
        VersionIn(file.Read(note.offset, note.size), order, note.align == 8 ? 8 : 4, file);
    if (!version.empty()) return version;
  }
  file.Fail("carries no version note (built before releases carried one, or not our plug-in)");
}

}  // namespace pdu_host
