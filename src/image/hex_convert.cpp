#include "image/hex_convert.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/file_digest.h"

namespace ov {

namespace {

// Reads lines ending in CR LF, LF or CR through a large buffer. A line that lies whole in the
// buffer is handed out in place; only one that straddles two reads is copied.
class LineReader {
  public:
    explicit LineReader(InputFile& file) : file_(file), buffer_(256 * 1024) {}

    // The next line without its ending; false at the end of the file.
    bool Next(std::string_view& line) {
        spill_.clear();
        bool any = false;
        for (;;) {
            if (pos_ == end_ && !Fill()) {
                line = spill_;
                return any;
            }
            if (afterCr_) {
                afterCr_ = false;
                if (buffer_[pos_] == '\n') {
                    ++pos_;
                    continue;
                }
            }
            any = true;
            const char* start = buffer_.data() + pos_;
            const char* stop = start;
            const char* limit = buffer_.data() + end_;
            while (stop < limit && *stop != '\n' && *stop != '\r') ++stop;
            if (stop == limit) {
                spill_.append(start, static_cast<std::size_t>(stop - start));
                pos_ = end_;
                continue;
            }
            afterCr_ = *stop == '\r';
            pos_ = static_cast<std::size_t>(stop - buffer_.data()) + 1;
            if (spill_.empty()) {
                line = std::string_view(start, static_cast<std::size_t>(stop - start));
            } else {
                spill_.append(start, static_cast<std::size_t>(stop - start));
                line = spill_;
            }
            return true;
        }
    }

  private:
    bool Fill() {
        pos_ = 0;
        end_ = file_.Read(buffer_.data(), buffer_.size());
        return end_ > 0;
    }

    InputFile& file_;
    std::vector<char> buffer_;
    std::string spill_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool afterCr_ = false;
};

// The value of each hexadecimal digit; 0xFF for any other character.
constexpr std::array<std::uint8_t, 256> kHexValue = [] {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = 0xFF;
    for (int c = '0'; c <= '9'; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
    return table;
}();

class HexConverter {
  public:
    // Without `out`, the records are only checked and the image's extent measured.
    HexConverter(std::uint32_t base, AtomicFileWriter* out) : base_(base), out_(out) {}

    // The addresses the image spans, once Run has read the whole file.
    bool Started() const { return started_; }
    std::uint64_t First() const { return first_; }
    std::uint64_t End() const { return end_; }

    void Run(InputFile& hex) {
        LineReader reader(hex);
        std::string_view line;
        std::uint64_t lineNumber = 0;
        while (reader.Next(line)) {
            ++lineNumber;
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
                line.remove_suffix(1);
            if (line.empty()) continue;
            if (!Record(line, lineNumber)) break;  // end-of-file record
        }
        Flush();
    }

  private:
    [[noreturn]] void Reject(std::uint64_t lineNumber, const char* reason) {
        throw LoaderError(ErrorKind::Image, std::string(kHexFormatError) + " (line " +
                                                std::to_string(lineNumber) + ": " + reason + ")");
    }

    // Returns false at the end-of-file record.
    bool Record(std::string_view line, std::uint64_t lineNumber) {
        if (line[0] != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0)
            Reject(lineNumber, "not a record");
        std::array<std::uint8_t, 5 + 255> bytes;
        const std::size_t count = (line.size() - 1) / 2;
        if (count > bytes.size()) Reject(lineNumber, "not a record");
        std::uint8_t sum = 0;
        std::uint8_t invalid = 0;  // any digit's 0xFF shows in its high bits
        const auto* digits = reinterpret_cast<const unsigned char*>(line.data()) + 1;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t hi = kHexValue[digits[2 * i]];
            const std::uint8_t lo = kHexValue[digits[2 * i + 1]];
            invalid |= static_cast<std::uint8_t>(hi | lo);
            bytes[i] = static_cast<std::uint8_t>((hi << 4) | lo);
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        }
        if (invalid & 0xF0) Reject(lineNumber, "not a record");
        const std::size_t n = bytes[0];
        if (count != n + 5) Reject(lineNumber, "byte count");
        if (sum != 0) Reject(lineNumber, "checksum");
        const std::uint32_t offset = (std::uint32_t{bytes[1]} << 8) | bytes[2];
        const std::uint8_t* data = bytes.data() + 4;
        switch (bytes[3]) {
            case 0x00:
                Data(upper_ + offset, data, n, lineNumber);
                return true;
            case 0x01:
                return false;
            case 0x02:
            case 0x04: {
                if (n != 2) Reject(lineNumber, "byte count");
                const std::uint32_t value = (std::uint32_t{data[0]} << 8) | data[1];
                // Segment and linear addresses replace each other; the latest applies.
                upper_ = bytes[3] == 0x02 ? value << 4 : value << 16;
                return true;
            }
            case 0x03:
            case 0x05:
                return true;  // start addresses mean nothing to a flash image
            default:
                Reject(lineNumber, "record type");
        }
    }

    void Data(std::uint64_t address, const std::uint8_t* data, std::size_t n,
              std::uint64_t lineNumber) {
        if (!started_) {
            if (address < base_) return;  // below the image, before it starts: dropped
            started_ = true;
            first_ = address;
            if (out_ != nullptr) Fill(0x00, address - base_);
            end_ = address;
        }
        if (address < end_) Reject(lineNumber, "address goes backwards");
        if (out_ != nullptr) {
            Fill(0xFF, address - end_);
            Put(data, n);
        }
        end_ = address + n;
    }

    void Fill(std::uint8_t value, std::uint64_t count) {
        while (count > 0) {
            if (used_ == buffer_.size()) Flush();
            const std::size_t n = std::min<std::uint64_t>(count, buffer_.size() - used_);
            std::memset(buffer_.data() + used_, value, n);
            used_ += n;
            count -= n;
        }
    }

    void Put(const std::uint8_t* data, std::size_t n) {
        if (buffer_.size() - used_ < n) Flush();
        std::memcpy(buffer_.data() + used_, data, n);
        used_ += n;
    }

    void Flush() {
        if (used_ > 0 && out_ != nullptr && !out_->Write(buffer_.data(), used_))
            throw LoaderError(ErrorKind::Image, kCreateBinFailed);
        used_ = 0;
    }

    std::uint64_t base_;
    AtomicFileWriter* out_;
    std::uint64_t upper_ = 0;
    bool started_ = false;
    std::uint64_t first_ = 0;
    std::uint64_t end_ = 0;  // the address just past the last byte written
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(256 * 1024);
    std::size_t used_ = 0;
};

}  // namespace

void ConvertHexToBin(const std::string& hexPath, std::uint32_t baseAddress, std::string& binPath) {
    InputFile hex(hexPath);
    if (!hex.IsOpen()) throw LoaderError(ErrorKind::Image, kOpenBinFailed);
    // The extent first: a few records far apart would otherwise fill gigabytes beside the file.
    HexConverter measure(baseAddress, nullptr);
    measure.Run(hex);
    if (hex.Failed()) throw LoaderError(ErrorKind::Image, kOpenBinFailed);
    if (measure.Started() && measure.End() - baseAddress > kMaxHexImageBytes) {
        char text[160];
        std::snprintf(text, sizeof(text),
                      "0x%08llX to 0x%08llX (%llu bytes from 0x%08X), more than 256 MiB",
                      static_cast<unsigned long long>(measure.First()),
                      static_cast<unsigned long long>(measure.End() - 1),
                      static_cast<unsigned long long>(measure.End() - baseAddress), baseAddress);
        throw LoaderError(ErrorKind::Image, std::string(kHexTooLarge) + " [" + hexPath +
                                                "]: its records span " + text);
    }
    InputFile again(hexPath);
    if (!again.IsOpen()) throw LoaderError(ErrorKind::Image, kOpenBinFailed);
    binPath = hexPath.size() >= 3 ? hexPath.substr(0, hexPath.size() - 3) + "bin" : "bin";
    AtomicFileWriter out(binPath);
    if (!out.IsOpen()) throw LoaderError(ErrorKind::Image, kCreateBinFailed);
    HexConverter converter(baseAddress, &out);
    converter.Run(again);
    if (again.Failed()) throw LoaderError(ErrorKind::Image, kOpenBinFailed);
    if (!out.Commit()) throw LoaderError(ErrorKind::Image, kCreateBinFailed);
}

}  // namespace ov
