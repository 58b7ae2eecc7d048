// Prints the spoken text of every amount read from standard input, one per
// line, as the library's raw Windows-1251 bytes, after a line showing how
// the caller's locale prints a decimal (for the reference check). The
// amounts are read before the locale is taken from the environment.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"

int main() {
    std::vector<double> amounts;
    char line[128];
    while (std::fgets(line, sizeof line, stdin))
        amounts.push_back(std::strtod(line, nullptr));
    std::setlocale(LC_NUMERIC, "");
    std::printf("%.2f\n", 0.5);
    char *text = nullptr;
    for (double amount : amounts) {
        SoundizeNumberTXT(amount, &text, 0);
        std::printf("%s\n", text ? text : "");
    }
    Realloc(text, 0);
    return 0;
}
