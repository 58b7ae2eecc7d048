// Modified Huffman page decoder: finds the EOLs, decodes the runs of each
// line between them, stops at RTC. A line that does not decode is reported
// and skipped; decoding resumes at the next EOL.
#include "MhDecoder.h"

#include <array>
#include <string_view>

namespace vmodem {

namespace {

struct SCode {
    int run;
    std::string_view white;
    std::string_view black;
};

// Terminating codes 0..63, then make-up codes 64..1728.
// clang-format off
constexpr SCode kCodes[] = {
    {0, "00110101", "0000110111"},     {1, "000111", "010"},
    {2, "0111", "11"},                 {3, "1000", "10"},
    {4, "1011", "011"},                {5, "1100", "0011"},
    {6, "1110", "0010"},               {7, "1111", "00011"},
    {8, "10011", "000101"},            {9, "10100", "000100"},
    {10, "00111", "0000100"},          {11, "01000", "0000101"},
    {12, "001000", "0000111"},         {13, "000011", "00000100"},
    {14, "110100", "00000111"},        {15, "110101", "000011000"},
    {16, "101010", "0000010111"},      {17, "101011", "0000011000"},
    {18, "0100111", "0000001000"},     {19, "0001100", "00001100111"},
    {20, "0001000", "00001101000"},    {21, "0010111", "00001101100"},
    {22, "0000011", "00000110111"},    {23, "0000100", "00000101000"},
    {24, "0101000", "00000010111"},    {25, "0101011", "00000011000"},
    {26, "0010011", "000011001010"},   {27, "0100100", "000011001011"},
    {28, "0011000", "000011001100"},   {29, "00000010", "000011001101"},
    {30, "00000011", "000001101000"},  {31, "00011010", "000001101001"},
    {32, "00011011", "000001101010"},  {33, "00010010", "000001101011"},
    {34, "00010011", "000011010010"},  {35, "00010100", "000011010011"},
    {36, "00010101", "000011010100"},  {37, "00010110", "000011010101"},
    {38, "00010111", "000011010110"},  {39, "00101000", "000011010111"},
    {40, "00101001", "000001101100"},  {41, "00101010", "000001101101"},
    {42, "00101011", "000011011010"},  {43, "00101100", "000011011011"},
    {44, "00101101", "000001010100"},  {45, "00000100", "000001010101"},
    {46, "00000101", "000001010110"},  {47, "00001010", "000001010111"},
    {48, "00001011", "000001100100"},  {49, "01010010", "000001100101"},
    {50, "01010011", "000001010010"},  {51, "01010100", "000001010011"},
    {52, "01010101", "000000100100"},  {53, "00100100", "000000110111"},
    {54, "00100101", "000000111000"},  {55, "01011000", "000000100111"},
    {56, "01011001", "000000101000"},  {57, "01011010", "000001011000"},
    {58, "01011011", "000001011001"},  {59, "01001010", "000000101011"},
    {60, "01001011", "000000101100"},  {61, "00110010", "000001011010"},
    {62, "00110011", "000001100110"},  {63, "00110100", "000001100111"},
    {64, "11011", "0000001111"},       {128, "10010", "000011001000"},
    {192, "010111", "000011001001"},   {256, "0110111", "000001011011"},
    {320, "00110110", "000000110011"}, {384, "00110111", "000000110100"},
    {448, "01100100", "000000110101"}, {512, "01100101", "0000001101100"},
    {576, "01101000", "0000001101101"}, {640, "01100111", "0000001001010"},
    {704, "011001100", "0000001001011"}, {768, "011001101", "0000001001100"},
    {832, "011010010", "0000001001101"}, {896, "011010011", "0000001110010"},
    {960, "011010100", "0000001110011"}, {1024, "011010101", "0000001110100"},
    {1088, "011010110", "0000001110101"}, {1152, "011010111", "0000001110110"},
    {1216, "011011000", "0000001110111"}, {1280, "011011001", "0000001010010"},
    {1344, "011011010", "0000001010011"}, {1408, "011011011", "0000001010100"},
    {1472, "010011000", "0000001010101"}, {1536, "010011001", "0000001011010"},
    {1600, "010011010", "0000001011011"}, {1664, "011000", "0000001100100"},
    {1728, "010011011", "0000001100101"},
};

// Extended make-up codes, the same for both colours.
constexpr std::pair<int, std::string_view> kExtended[] = {
    {1792, "00000001000"},  {1856, "00000001100"},  {1920, "00000001101"},
    {1984, "000000010010"}, {2048, "000000010011"}, {2112, "000000010100"},
    {2176, "000000010101"}, {2240, "000000010110"}, {2304, "000000010111"},
    {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

// clang-format on

constexpr int kMaxCodeLength = 13;

// Direct lookup by (length, value): codes are at most 13 bits long.
struct STable {
    std::array<std::array<int16_t, 1 << kMaxCodeLength>, kMaxCodeLength + 1> run{};

    void Add(std::string_view word, int value) {
        unsigned code = 0;
        for (char c : word)
            code = (code << 1) | (c == '1' ? 1u : 0u);
        run[word.size()][code] = int16_t(value);
    }
};

struct STables {
    STable white, black;
    STables() {
        for (auto &t : white.run)
            t.fill(-1);
        for (auto &t : black.run)
            t.fill(-1);
        for (const SCode &c : kCodes) {
            white.Add(c.white, c.run);
            black.Add(c.black, c.run);
        }
        for (const auto &[run, word] : kExtended) {
            white.Add(word, run);
            black.Add(word, run);
        }
    }
};

const STables &Tables() {
    static const STables tables;
    return tables;
}

class CBits {
public:
    CBits(const uint8_t *data, size_t count) : data_(data), size_(count * 8) {}
    size_t Size() const { return size_; }
    int At(size_t i) const { return (data_[i / 8] >> (i % 8)) & 1; }

private:
    const uint8_t *data_;
    size_t size_;
};

// Finds the next EOL from pos: returns the index just after its 1 bit and sets
// dataEnd to where the zeros of the EOL (fill excluded) begin. Returns 0 when
// no EOL follows.
size_t FindEol(const CBits &bits, size_t pos, size_t &dataEnd) {
    size_t zeros = 0;
    for (size_t i = pos; i < bits.Size(); ++i) {
        if (bits.At(i) == 0) {
            ++zeros;
        } else if (zeros >= 11) {
            dataEnd = i - 11;
            return i + 1;
        } else {
            zeros = 0;
        }
    }
    return 0;
}

bool AllZero(const CBits &bits, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (bits.At(i))
            return false;
    return true;
}

void PaintBlack(std::vector<uint8_t> &row, int from, int count) {
    for (int x = from; x < from + count; ++x)
        row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
}

// Decodes one line from [pos, end); returns an empty string on success or
// the reason it failed.
std::string DecodeLine(const CBits &bits, size_t pos, size_t end, std::vector<uint8_t> &row) {
    row.assign(kFaxRowBytes, 0);
    int pels = 0;
    bool white = true;
    while (pels < kFaxPels) {
        int run = 0;
        for (;;) {
            unsigned code = 0;
            int value = -1;
            int length = 0;
            while (value < 0 && length < kMaxCodeLength && pos < end) {
                code = (code << 1) | unsigned(bits.At(pos++));
                ++length;
                value = LookupMhCode(white, code, length);
            }
            if (value < 0)
                return "no " + std::string(white ? "white" : "black") + " code at pel " +
                       std::to_string(pels + run);
            run += value;
            if (value < 64)
                break;
        }
        if (pels + run > kFaxPels)
            return "runs exceed " + std::to_string(kFaxPels) + " pels";
        if (!white)
            PaintBlack(row, pels, run);
        pels += run;
        white = !white;
    }
    if (!AllZero(bits, pos, end))
        return "bits after the last run";
    return {};
}

} // namespace

int LookupMhCode(bool white, unsigned code, int length) {
    if (length < 1 || length > kMaxCodeLength || code >= (1u << length))
        return -1;
    const STable &t = white ? Tables().white : Tables().black;
    return t.run[size_t(length)][code];
}

SFaxPage DecodeMhPage(const uint8_t *data, size_t count) {
    SFaxPage page;
    CBits bits(data, count);
    size_t dataEnd = 0;
    size_t pos = FindEol(bits, 0, dataEnd);
    if (pos == 0)
        return page; // no EOL at all: nothing on this page
    page.eols = 1;
    int eolRun = 1;
    size_t line = 0;
    std::vector<uint8_t> row;
    while (pos < bits.Size()) {
        size_t next = FindEol(bits, pos, dataEnd);
        size_t end = next ? dataEnd : bits.Size();
        if (AllZero(bits, pos, end)) {
            if (!next)
                break;
            // An empty line: part of an RTC when six EOLs come in a row.
            ++page.eols;
            if (++eolRun == 6) {
                page.rtc = true;
                for (size_t i = next; i < bits.Size(); ++i)
                    page.trailingOnes += size_t(bits.At(i));
                break;
            }
            pos = next;
            continue;
        }
        ++line;
        std::string reason = DecodeLine(bits, pos, end, row);
        if (reason.empty())
            page.rows.push_back(row);
        else
            page.bad.push_back({line, reason});
        if (!next)
            break;
        ++page.eols;
        eolRun = 1;
        pos = next;
    }
    return page;
}

std::string PageToPbm(const SFaxPage &page) {
    std::string out =
        "P4\n" + std::to_string(kFaxPels) + " " + std::to_string(page.rows.size()) + "\n";
    for (const auto &row : page.rows)
        out.append(row.begin(), row.end());
    return out;
}

} // namespace vmodem
