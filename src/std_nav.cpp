// The standard navigation path. Records and parameter changes are turned into
// text at once (they are rare beside the epochs) and handed to the writer
// with their constellation, which tells a RINEX 2.11 writer their file.
#include "std_nav.h"

#include <cstdio>

#include "const.h"
#include "nav_params.h"
#include "nav_records.h"
#include "rinex4_nav.h"
#include "rinex_config.h"
#include "rinex_generation.h"
#include "rinex_nav.h"

namespace {

int version() { return RINEX_settings().rinex_version; }

// The satellite a navigation message came from, as RINEX numbers it.
bool source_of(U08 msg_id, const U08* buf, U16 len, char* letter, int* sat) {
  if (len < 4) return false;
  switch (msg_id) {
    case 0xE0:
      *letter = buf[1] >= 193 ? 'J' : 'G';
      *sat = buf[1] >= 193 ? buf[1] - 192 : buf[1];
      return true;
    case 0xE1: *letter = 'R', *sat = (U08)(buf[1] - 64); return true;
    case 0xE2:
    case 0xE3: *letter = 'C', *sat = (U08)(buf[1] + 56); return true;
    case 0xE6:
      if ((buf[2] & 0x0F) == 3) return *letter = 'E', *sat = buf[3], true;
      if ((buf[2] & 0x0F) == 1) return *letter = 'S', *sat = buf[3] - 100, true;
      return false;
    default: return false;
  }
}

}  // namespace

void Std_nav_start() { Params_start(); }

void Std_nav_message(OutputStage& stage, U08 msg_id, const U08* buf, U16 len) {
  char letter = ' ';
  int sat = 0;
  if (!source_of(msg_id, buf, len, &letter, &sat)) return;
  // One ION and one STO record per system each time its values change (and
  // once the time of the message that brought them is known).
  U32 changed = Params_note(msg_id, buf, len, letter, sat);
  if (!Rinex_run_generation().ion_sto_records || changed == 0) return;
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++) {
    if (!RINEX_is_able_to_output_measurement(type)) continue;
    if ((changed & (1u << (NAV_IONO * 8 + type))) != 0)
      RINEX_emit_nav_record(stage, type, NAV_SLOT_ION, Rinex4_ion_record(type));
    U32 offsets = 1u << (NAV_UTC * 8 + type) | 1u << (NAV_TAU_C * 8 + type);
    if ((changed & offsets) != 0)
      RINEX_emit_nav_record(stage, type, NAV_SLOT_STO, Rinex4_sto_record(type));
  }
}

bool Std_nav_record(OutputStage& stage, S16 gnss_type, S16 number, S08 glonass_k) {
  // RINEX 2.11 has navigation files of GPS and GLONASS only.
  if (Rinex_run_generation().nav_file_per_system && gnss_type != GNSS_TYPE_GPS &&
      gnss_type != GNSS_TYPE_GLO)
    return false;
  NavRecord r;
  if (!Nav_build_record(gnss_type, number, glonass_k, version(), &r)) return true;
  RINEX_emit_nav_record(stage, gnss_type, number, Nav_record_text(r, version()));
  return true;
}

void Std_nav_report(const long* unwritten) {
  U32 records = 0;  // the sets RINEX 4.00 writes as ION and STO records
  for (S16 type = GNSS_TYPE_GPS; type < GNSS_NTYPE; type++)
    if (RINEX_is_able_to_output_measurement(type))
      records |=
          1u << (NAV_IONO * 8 + type) | 1u << (NAV_UTC * 8 + type) | 1u << (NAV_TAU_C * 8 + type);
  int untimed = Rinex_run_generation().ion_sto_records ? Params_untimed(records) : 0;
  if (untimed > 0)
    printf("ION and STO records whose message's time the log does not tell, not written: %d\n",
           untimed);
  if (unwritten[GNSS_TYPE_GAL] + unwritten[GNSS_TYPE_BD2] + unwritten[GNSS_TYPE_QZSS] == 0) return;
  printf(
      "Navigation records RINEX 2.11 has no file for, not written: %ld Galileo, %ld BeiDou, "
      "%ld QZSS\n",
      unwritten[GNSS_TYPE_GAL], unwritten[GNSS_TYPE_BD2], unwritten[GNSS_TYPE_QZSS]);
}
