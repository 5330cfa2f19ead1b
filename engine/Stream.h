// Sequential byte streams for the records the plug-in stores, and the little-endian field
// readers and writers over them. Writers only append; readers only move forward.
//
// Reading a field from a stream that ends early consumes what is left, leaves the target
// unchanged and returns false: a record cut short keeps the values its fields had before.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "stored records are little-endian and read by copying bytes");

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to n bytes; returns how many were read (fewer only at the end).
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Appends n bytes at the position; throws EVantrelError when the bytes cannot be written.
  virtual void Write(const void* buffer, size_t n) = 0;
  virtual uint64_t Position() const = 0;
  virtual uint64_t Size() const = 0;
  // Moves to pos; a position past the end stays at the end.
  virtual void Seek(uint64_t pos) = 0;

  uint64_t Remaining() const {
    const uint64_t p = Position(), s = Size();
    return p < s ? s - p : 0;
  }
  // Moves forward n bytes, stopping at the end: skipping a reserved block that was not
  // written (a stream's last record) is harmless.
  void Skip(uint64_t n) {
    const uint64_t r = Remaining();
    Seek(Position() + (n < r ? n : r));
  }
  // A read asked for more than was left: a record was cut short (skipping is no reading).
  bool EndedEarly() const { return EndedEarly_; }

 protected:
  void NoteRead(size_t asked, size_t got) {
    if (got < asked) EndedEarly_ = true;
  }

 private:
  bool EndedEarly_ = false;
};

// A growable buffer in memory; used for payloads and for copies of records.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}

  size_t Read(void* buffer, size_t n) override;
  void Write(const void* buffer, size_t n) override;
  uint64_t Position() const override { return Pos; }
  uint64_t Size() const override { return Bytes.size(); }
  void Seek(uint64_t pos) override { Pos = pos < Bytes.size() ? static_cast<size_t>(pos) : Bytes.size(); }

  const std::vector<uint8_t>& Data() const { return Bytes; }
  std::vector<uint8_t> TakeData() { Pos = 0; return std::move(Bytes); }

 private:
  std::vector<uint8_t> Bytes;
  size_t Pos = 0;
};

// A file read from start to end.
class TFileReadStream : public TStream {
 public:
  // Throws EVantrelError("Cannot open file %s") when the file cannot be opened.
  explicit TFileReadStream(const std::string& fileName);
  ~TFileReadStream() override;
  TFileReadStream(const TFileReadStream&) = delete;
  TFileReadStream& operator=(const TFileReadStream&) = delete;

  size_t Read(void* buffer, size_t n) override;
  void Write(const void* buffer, size_t n) override;  // throws: the stream is read-only
  uint64_t Position() const override { return Pos; }
  uint64_t Size() const override { return FileSize; }
  void Seek(uint64_t pos) override;

 private:
  std::FILE* File = nullptr;
  uint64_t FileSize = 0;
  uint64_t Pos = 0;
};

// A new file written beside its target and put in place only by Commit, so that a failed
// save leaves the old file whole. Destroying an uncommitted stream removes the temporary file.
class TFileWriteStream : public TStream {
 public:
  // Throws EVantrelError("Cannot create file %s") when the temporary file cannot be created.
  explicit TFileWriteStream(const std::string& fileName);
  ~TFileWriteStream() override;
  TFileWriteStream(const TFileWriteStream&) = delete;
  TFileWriteStream& operator=(const TFileWriteStream&) = delete;

  size_t Read(void* buffer, size_t n) override;  // always 0: the stream is write-only
  void Write(const void* buffer, size_t n) override;
  uint64_t Position() const override { return Pos; }
  uint64_t Size() const override { return Pos; }
  void Seek(uint64_t pos) override;  // only forward: the gap is filled with zeros
  // Flushes and renames over the target; throws EVantrelError("Cannot create file %s").
  void Commit();

 private:
  std::string Target;
  std::string TempName;
  std::FILE* File = nullptr;
  uint64_t Pos = 0;
};

// Reads a trivially copyable little-endian field; false (target unchanged) at the end.
template <typename T>
bool ReadField(TStream& s, T& out) {
  static_assert(std::is_trivially_copyable_v<T>);
  unsigned char raw[sizeof(T)];
  if (s.Read(raw, sizeof(T)) != sizeof(T)) return false;
  std::memcpy(&out, raw, sizeof(T));
  return true;
}

template <typename T>
void WriteField(TStream& s, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  s.Write(&value, sizeof(T));
}

// text(N): a length byte and N character bytes; a stored length above N is cut to N.
bool ReadText(TStream& s, size_t capacity, std::string& out);
// Writes text(N); a text longer than N is cut to N characters, unused bytes are zeros.
void WriteText(TStream& s, size_t capacity, const std::string& text);
// Appends n zero bytes (a reserved block).
void WriteZeros(TStream& s, size_t n);
