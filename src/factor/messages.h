// Fixed texts of the factorisation engine, printed character for character.
#pragma once

// Once per process, when a stage is reached whose library is missing.
#define FACTOR_MSG_NO_ECM "no: libecm.so.1, elliptic curves skipped \n"
#define FACTOR_MSG_NO_SIEVE "no: libflint.so.17, quadratic sieve skipped \n"
// When the multiple precision library is missing: at start-up (console) and
// before a factorisation.
#define MSG_NO_GMP "no: gmp-10.dll \n"
#define FACTOR_MSG_ANALYZING "\nAnalyzing: %Zd\n"
#define FACTOR_MSG_HEAVY "(Heavy analysis phase. 5s dots. Press any key to stop)\n"
#define FACTOR_MSG_DISCOVERY "\nDiscovery Order: "
#define FACTOR_MSG_ARROW " -> "
#define FACTOR_MSG_SORTED "\nSorted Formula:  "
#define FACTOR_MSG_TERMINATED " [Terminated]\n"
#define FACTOR_MSG_UNSURE "?"
#define FACTOR_MARK_DOT "."
#define FACTOR_MARK_BAR "_"
// Appended to the text when factors had to be left out (list or text full).
#define FACTOR_TEXT_CUT " ..."
#define FACTOR_TEXT_PRIME " P"
