// Observation codes between RINEX generations: which codes each version
// defines for each system, RINEX 2's two-character types as RINEX 3 codes
// and back, and a code of one RINEX 3 or 4 version in another (BeiDou B1I is
// band 1 in 3.02 and band 2 from 3.03). One table a question.
#ifndef VLN_CODE_MAP_H
#define VLN_CODE_MAP_H

#include <string>
#include <vector>

// Versions as the tables know them: 211, 302, 303, 304, 305, 400.
int Code_version(double version);

// Whether a three-character code ("C1C") is defined for the system in a
// RINEX 3 or 4 version.
bool Code_valid(char sys, const std::string& code, int version);
// Whether a two-character type ("P2") is defined for the system in RINEX 2.11.
bool Code_valid2(char sys, const std::string& type);

// A RINEX 2 types list as one system's RINEX 3 codes, in the same order: C1
// is C1C, P1 C1W (GPS; GLONASS C1P), P2 C2W, C2 C2L on GPS (the L2C code), a
// phase, Doppler or strength that of the band's P code where the list has
// one, else of its C code; Galileo codes are X (the receiver's combination).
std::vector<std::string> Code_from_rinex2(char sys, const std::vector<std::string>& types);
// A RINEX 3 code as RINEX 2.11 writes it ("C2W" -> "P2"); "" where 2.11 has
// no type for it (a band or a system it does not know).
std::string Code_to_rinex2(char sys, const std::string& code);
// A code of one RINEX 3 or 4 version in another; "" where the target has none.
std::string Code_between(char sys, const std::string& code, int from, int to);

#endif
