// The run sequence once the raw log and both outputs are open: switches,
// initialisation, provisional headers, the pass over the log, the header
// rewrite, closing, and the report of any read or write failure.
#include <cstring>

#include "const.h"
#include "decode_binmsg.h"
#include "ephemeris.h"
#include "epoch_select.h"
#include "main.h"
#include "nav.h"
#include "obs.h"
#include "rinex_config.h"
#include "rinex_files.h"
#include "subframe.h"

int convert_raw_file(FILE* fp_raw, S16 enable_gps, S16 enable_qzss, S16 enable_sbas, S16 enable_glo,
                     S16 enable_bd2, S16 enable_gal, S16 freq_mode) {
  if (enable_gps) RINEX_set_output_measurement(GNSS_TYPE_GPS);
  if (enable_qzss) RINEX_set_output_measurement(GNSS_TYPE_QZSS);
  if (enable_sbas) RINEX_set_output_measurement(GNSS_TYPE_SBAS);
  if (enable_glo) RINEX_set_output_measurement(GNSS_TYPE_GLO);
  if (enable_bd2) RINEX_set_output_measurement(GNSS_TYPE_BD2);
  if (enable_gal) RINEX_set_output_measurement(GNSS_TYPE_GAL);

  // Every store from its initial state (what a fresh process holds anyway).
  Decode_init();
  Nav_init();
  SF_init();
  Eph_init();
  Obs_init(freq_mode);

  RINEX_write_headers();
  Select_start_run();
  RINEX_start_writing();
  parsing_raw_file_and_put_obs_nav_record(fp_raw);
  RINEX_stop_writing();
  Select_report();
  RINEX_output_report();
  RINEX_rewinding();
  RINEX_write_headers();

  fclose(fp_raw);
  RINEX_close();

  // A run that lost input or output says so and ends with its own status,
  // so that a script never takes a cut-off file for a complete one.
  int status = 1;
  if (raw_read_errno() != 0) {
    printf("Raw file read error: %s\n", strerror(raw_read_errno()));
    status = 2;
  }
  if (RINEX_obs_write_errno() != 0) {
    printf("RINEX obs file write error: %s\n", strerror(RINEX_obs_write_errno()));
    status = 2;
  }
  if (RINEX_nav_write_errno() != 0) {
    printf("RINEX nav file write error: %s\n", strerror(RINEX_nav_write_errno()));
    status = 2;
  }
  return RINEX_finish_names(status);
}
