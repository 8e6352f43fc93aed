// Exchange files (seeds, fruits, upgrade packages, unscrambled) from outside: each input is
// imported into a fresh-started home (no prompt: every question is answered Cancel).

#include "exchange/exchange_import.h"
#include "fuzz/fuzz_driver.h"
#include "fuzz/fuzz_home.h"

int main(int argc, char** argv) {
    sorvik::fuzz::FuzzHome home;
    return sorvik::fuzz::FuzzMain(argc, argv,
                                  [](std::string_view input) { sorvik::ImportExchangeFile(input, nullptr); });
}
