// Prints the spoken text of every amount read from standard input, one per
// line, as the library's raw Windows-1251 bytes (for the reference check).
#include <cstdio>
#include <cstdlib>

#include "Tamsel.h"
#include "falcrest/Falcrest.h"

int main() {
    char line[128];
    char *text = nullptr;
    while (std::fgets(line, sizeof line, stdin)) {
        double amount = std::strtod(line, nullptr);
        SoundizeNumberTXT(amount, &text, 0);
        std::printf("%s\n", text ? text : "");
    }
    Realloc(text, 0);
    return 0;
}
