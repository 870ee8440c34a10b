// What the run writes: the settings of the long options and station files,
// and the constellations selected on the command line. Set once before the
// files are opened; read by every writer and by the file naming.
#ifndef VLN_RINEX_CONFIG_H
#define VLN_RINEX_CONFIG_H

#include "data_type.h"
#include "settings.h"

// Takes the run settings (header metadata, interval, output folder, long
// names); before RINEX_init. Without it every setting has its default.
void RINEX_configure(const Settings& s);
const Settings& RINEX_settings();
// Clears the constellation switches.
void RINEX_clear_selection();
void RINEX_set_output_measurement(S16 gnss_type);
// 1 when the constellation was selected on the command line.
S16 RINEX_is_able_to_output_measurement(S16 gnss_type);
// 1 when more than one constellation is selected.
S16 RINEX_is_gnss_mixed_mode();
// The RINEX system of the selection (RINEX_SYS_ALL for more than one).
S16 RINEX_get_sys_type();

#endif
