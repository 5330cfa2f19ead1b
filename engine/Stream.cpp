// Memory and file streams. Files are read through stdio; saving writes a temporary file in the
// target's folder and renames it into place.
#include "engine/Stream.h"

#include <cerrno>
#include <unistd.h>

#include <algorithm>

#include "engine/Errors.h"

size_t TMemoryStream::Read(void* buffer, size_t n) {
  const size_t k = std::min(n, Bytes.size() - Pos);
  if (k) std::memcpy(buffer, Bytes.data() + Pos, k);
  Pos += k;
  NoteRead(n, k);
  return k;
}

void TMemoryStream::Write(const void* buffer, size_t n) {
  if (n == 0) return;
  if (Pos + n > Bytes.size()) Bytes.resize(Pos + n);
  std::memcpy(Bytes.data() + Pos, buffer, n);
  Pos += n;
}

TFileReadStream::TFileReadStream(const std::string& fileName) {
  File = std::fopen(fileName.c_str(), "rb");
  if (!File) throw EVantrelError(Format("Cannot open file %s", fileName.c_str()));
  if (std::fseek(File, 0, SEEK_END) == 0) {
    const long size = std::ftell(File);
    FileSize = size > 0 ? static_cast<uint64_t>(size) : 0;
  }
  std::fseek(File, 0, SEEK_SET);
}

TFileReadStream::~TFileReadStream() {
  if (File) std::fclose(File);
}

size_t TFileReadStream::Read(void* buffer, size_t n) {
  const size_t k = std::fread(buffer, 1, n, File);
  Pos += k;
  NoteRead(n, k);
  return k;
}

void TFileReadStream::Write(const void*, size_t) {
  throw EVantrelError("The stream was opened for reading only");
}

void TFileReadStream::Seek(uint64_t pos) {
  Pos = std::min(pos, FileSize);
  std::fseek(File, static_cast<long>(Pos), SEEK_SET);
}

TFileWriteStream::TFileWriteStream(const std::string& fileName) : Target(fileName) {
  TempName = fileName + ".tmp-" + std::to_string(static_cast<long>(getpid()));
  File = std::fopen(TempName.c_str(), "wb");
  if (!File) throw EVantrelError(Format("Cannot create file %s", fileName.c_str()));
}

TFileWriteStream::~TFileWriteStream() {
  if (File) {
    std::fclose(File);
    std::remove(TempName.c_str());
  }
}

size_t TFileWriteStream::Read(void*, size_t) { return 0; }

void TFileWriteStream::Write(const void* buffer, size_t n) {
  if (!File) throw EVantrelError(Format("Cannot create file %s", Target.c_str()));
  if (n && std::fwrite(buffer, 1, n, File) != n)
    throw EVantrelError(Format("Cannot create file %s", Target.c_str()));
  Pos += n;
}

void TFileWriteStream::Seek(uint64_t pos) {
  if (pos > Pos) WriteZeros(*this, static_cast<size_t>(pos - Pos));
}

void TFileWriteStream::Commit() {
  if (!File) return;
  const bool flushed = std::fflush(File) == 0 && fsync(fileno(File)) == 0;
  const bool closed = std::fclose(File) == 0;
  File = nullptr;
  if (!flushed || !closed || std::rename(TempName.c_str(), Target.c_str()) != 0) {
    std::remove(TempName.c_str());
    throw EVantrelError(Format("Cannot create file %s", Target.c_str()));
  }
}

bool ReadText(TStream& s, size_t capacity, std::string& out) {
  uint8_t length = 0;
  if (!ReadField(s, length)) return false;
  std::string raw(capacity, '\0');
  const size_t got = s.Read(raw.data(), capacity);
  if (got != capacity) return false;
  raw.resize(std::min<size_t>(length, capacity));
  out = std::move(raw);
  return true;
}

void WriteText(TStream& s, size_t capacity, const std::string& text) {
  std::string field(capacity + 1, '\0');
  const size_t n = std::min(text.size(), std::min<size_t>(capacity, 255));
  field[0] = static_cast<char>(n);
  std::memcpy(field.data() + 1, text.data(), n);
  s.Write(field.data(), field.size());
}

void WriteZeros(TStream& s, size_t n) {
  static const char zeros[256] = {};
  while (n) {
    const size_t k = std::min(n, sizeof(zeros));
    s.Write(zeros, k);
    n -= k;
  }
}
