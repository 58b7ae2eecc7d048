// Spoken amounts: the whole roubles of an amount in Russian words, the
// currency word agreeing with the number, and the kopecks as two digits.
// Texts are Windows-1251, one byte per character.
#include "voice/VUtil32.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"
#include "serial/Engine.h"
#include "voice/Cp1251.h"

namespace {

using voice::Cp1251;

// Digit words: eight rows of nine (digits 1..9), each capitalised row
// followed by its lower-case twin, then the group words at 72 + 3 * group +
// form. "$" in the tens rows marks a teen, spelt from pr3.
// The tables keep their rows of words.
// clang-format off
const char *const br[81] = {
    // 0, 1: units, masculine
    Cp1251<u8"Один">(), Cp1251<u8"Два">(), Cp1251<u8"Три">(), Cp1251<u8"Четыре">(),
    Cp1251<u8"Пять">(), Cp1251<u8"Шесть">(), Cp1251<u8"Семь">(), Cp1251<u8"Восемь">(),
    Cp1251<u8"Девять">(),
    Cp1251<u8"один">(), Cp1251<u8"два">(), Cp1251<u8"три">(), Cp1251<u8"четыре">(),
    Cp1251<u8"пять">(), Cp1251<u8"шесть">(), Cp1251<u8"семь">(), Cp1251<u8"восемь">(),
    Cp1251<u8"девять">(),
    // 2, 3: units, feminine (thousands)
    Cp1251<u8"Одна">(), Cp1251<u8"Две">(), Cp1251<u8"Три">(), Cp1251<u8"Четыре">(),
    Cp1251<u8"Пять">(), Cp1251<u8"Шесть">(), Cp1251<u8"Семь">(), Cp1251<u8"Восемь">(),
    Cp1251<u8"Девять">(),
    Cp1251<u8"одна">(), Cp1251<u8"две">(), Cp1251<u8"три">(), Cp1251<u8"четыре">(),
    Cp1251<u8"пять">(), Cp1251<u8"шесть">(), Cp1251<u8"семь">(), Cp1251<u8"восемь">(),
    Cp1251<u8"девять">(),
    // 4, 5: tens
    "$", Cp1251<u8"Двадцать">(), Cp1251<u8"Тридцать">(), Cp1251<u8"Сорок">(),
    Cp1251<u8"Пятьдесят">(), Cp1251<u8"Шестьдесят">(), Cp1251<u8"Семьдесят">(),
    Cp1251<u8"Восемьдесят">(), Cp1251<u8"Девяносто">(),
    "$", Cp1251<u8"двадцать">(), Cp1251<u8"тридцать">(), Cp1251<u8"сорок">(),
    Cp1251<u8"пятьдесят">(), Cp1251<u8"шестьдесят">(), Cp1251<u8"семьдесят">(),
    Cp1251<u8"восемьдесят">(), Cp1251<u8"девяносто">(),
    // 6, 7: hundreds
    Cp1251<u8"Сто">(), Cp1251<u8"Двести">(), Cp1251<u8"Триста">(), Cp1251<u8"Четыреста">(),
    Cp1251<u8"Пятьсот">(), Cp1251<u8"Шестьсот">(), Cp1251<u8"Семьсот">(),
    Cp1251<u8"Восемьсот">(), Cp1251<u8"Девятьсот">(),
    Cp1251<u8"сто">(), Cp1251<u8"двести">(), Cp1251<u8"триста">(), Cp1251<u8"четыреста">(),
    Cp1251<u8"пятьсот">(), Cp1251<u8"шестьсот">(), Cp1251<u8"семьсот">(),
    Cp1251<u8"восемьсот">(), Cp1251<u8"девятьсот">(),
    // 72..80: thousands, millions, billions in forms 0, 1, 2
    Cp1251<u8"тысяча">(), Cp1251<u8"тысячи">(), Cp1251<u8"тысяч">(),
    Cp1251<u8"миллион">(), Cp1251<u8"миллиона">(), Cp1251<u8"миллионов">(),
    Cp1251<u8"миллиард">(), Cp1251<u8"миллиарда">(), Cp1251<u8"миллиардов">(),
};
constexpr int kGroupWords = 72;
constexpr int kRowLength = 9;

// Capitalised row of the digit at position p (counted from the right, 1 for
// the units), indexed by p - 1. Twelve positions: the whole part has at most
// twelve digits.
const unsigned char pr1[12] = {0, 4, 6, 2, 4, 6, 0, 4, 6, 0, 4, 6};
constexpr int kMaxWholeChars = 12;

// Form of the word after a number, by its units digit: 0 nominative
// singular, 1 genitive singular, 2 genitive plural.
const unsigned char pr2[10] = {2, 0, 1, 1, 1, 2, 2, 2, 2, 2};
constexpr int kPluralForm = 2;

// 10..19, capitalised, then in lower case.
const char *const pr3[20] = {
    Cp1251<u8"Десять">(),       Cp1251<u8"Одиннадцать">(),  Cp1251<u8"Двенадцать">(),
    Cp1251<u8"Тринадцать">(),   Cp1251<u8"Четырнадцать">(), Cp1251<u8"Пятнадцать">(),
    Cp1251<u8"Шестнадцать">(),  Cp1251<u8"Семнадцать">(),   Cp1251<u8"Восемнадцать">(),
    Cp1251<u8"Девятнадцать">(),
    Cp1251<u8"десять">(),       Cp1251<u8"одиннадцать">(),  Cp1251<u8"двенадцать">(),
    Cp1251<u8"тринадцать">(),   Cp1251<u8"четырнадцать">(), Cp1251<u8"пятнадцать">(),
    Cp1251<u8"шестнадцать">(),  Cp1251<u8"семнадцать">(),   Cp1251<u8"восемнадцать">(),
    Cp1251<u8"девятнадцать">(),
};

// The currency word by form.
const char *const br1[3] = {Cp1251<u8" рубль">(), Cp1251<u8" рубля">(), Cp1251<u8" рублей">()};
// clang-format on

const char *const kKopecks = Cp1251<u8" коп.">();

// Appends to a fixed buffer, never past its end.
class Text {
public:
    Text(char *out, uint32_t capacity) : out_(out), capacity_(capacity) { out_[0] = 0; }
    void Put(const char *s) { Put(s, uint32_t(std::strlen(s))); }
    void Put(const char *s, uint32_t n) {
        if (n >= capacity_ - length_)
            n = capacity_ - length_ - 1;
        std::memcpy(out_ + length_, s, n);
        length_ += n;
        out_[length_] = 0;
    }
    uint32_t Length() const { return length_; }

private:
    char *out_;
    uint32_t capacity_;
    uint32_t length_ = 0;
};

// A character of the printed whole part as a digit; the minus sign reads as 0.
int Digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : 0;
}

const char *GroupWord(int group, int form) {
    return br[kGroupWords + 3 * group + form];
}

// Both spellings of digit d at position p: capitalised for the first word.
const char *DigitWord(int p, int d, bool first) {
    int row = pr1[p - 1] + (first ? 0 : 1);
    return br[row * kRowLength + d - 1];
}

thread_local char *szTextualNumber = nullptr;

} // namespace

namespace voice {

uint32_t BuildNumberText(long double amount, char *out, uint32_t capacity) {
    if (!out || capacity == 0)
        return 0;
    Text text(out, capacity);
    if (amount == 0 || !std::isfinite(amount))
        return 0;

    char s[512];
    int printed = std::snprintf(s, sizeof s, "%.2Lf", amount);
    if (printed <= 0 || printed >= int(sizeof s))
        return 0;
    // The decimal separator is the caller's locale's ("," in many): the whole
    // part is the sign and digits before it, and the text always ends with
    // the two digits of the kopecks.
    const int n = int(std::strspn(s, "-0123456789"));
    const char *kopecks = s + printed - 2;
    if (n == 0 || n > kMaxWholeChars)
        return 0;

    // Set while a group word stands for the digits that follow it, so that
    // an all-zero group gets no word of its own.
    bool groupWritten = false;
    for (int i = 0; i < n; ++i) {
        const int p = n - i;
        const int d = Digit(s[i]);
        if (d != 0) {
            if (i > 0)
                text.Put(" ");
            const char *word = DigitWord(p, d, true);
            if (word[0] == '$') {
                // A tens digit 1: the teen covers this digit and the next.
                const int d2 = Digit(s[i + 1]);
                text.Put(pr3[i == 0 ? d2 : 10 + d2]);
                const int rest = n - (i + 2);
                if (rest > 2) {
                    text.Put(" ");
                    text.Put(GroupWord((rest + 1) / 3 - 1, kPluralForm));
                    groupWritten = true;
                }
                ++i;
                if (rest == 0)
                    text.Put(br1[kPluralForm]);
                continue;
            }
            text.Put(i == 0 ? word : DigitWord(p, d, false));
            groupWritten = false;
        }
        if (d != 0 || !groupWritten) {
            if (p > 1) {
                groupWritten = false;
                if (p % 3 == 1) {
                    text.Put(" ");
                    text.Put(GroupWord((p - 1) / 3 - 1, pr2[d]));
                    groupWritten = true;
                }
            }
        }
        if (p == 1)
            text.Put(br1[pr2[d]]);
    }

    text.Put(", ");
    text.Put(kopecks, 2);
    text.Put(kKopecks);
    return text.Length();
}

} // namespace voice

char *SoundizeNumberTxt(long double amount) {
    char *buffer = static_cast<char *>(Realloc(szTextualNumber, voice::kTextualNumberSize));
    if (!buffer)
        return nullptr;
    szTextualNumber = buffer;
    voice::BuildNumberText(amount, buffer, voice::kTextualNumberSize);
    return buffer;
}

void ReleaseTextualNumber() {
    if (szTextualNumber)
        Free(szTextualNumber);
    szTextualNumber = nullptr;
}

namespace {
// Unloading the library, also at process exit, releases the text.
struct TextualNumberGuard {
    ~TextualNumberGuard() { ReleaseTextualNumber(); }
} gTextualNumberGuard;
} // namespace

extern "C" FALCREST_API int SoundizeNumberTXT(double amount, char **text, uint32_t max) {
    if (!text)
        return 0;
    try {
        // Built in the caller's own stack frame: concurrent calls never share
        // a buffer.
        char built[voice::kTextualNumberSize];
        uint32_t length = voice::BuildNumberText(amount, built, sizeof built);
        if (length == 0)
            return int(SetStr(nullptr, text, 0));
        uint32_t n = max == 0 || max > length ? length : max;
        return int(SetStr(built, text, n));
    } catch (...) {
        return 0;
    }
}
