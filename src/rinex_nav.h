// The navigation file: its header text (provisional before the pass over the
// log, final after it, with the parameters gathered) and one record per new
// ephemeris of GPS, QZSS, GLONASS, BeiDou and Galileo, handed to the writer
// thread as text in input order.
#ifndef VLN_RINEX_NAV_H
#define VLN_RINEX_NAV_H

#include <string>

#include "data_type.h"
#include "output_stage.h"

std::string RINEX_nav_header_text();
// Hands a record's text to the writer, after its satellite's constellation
// and number (the slot of the latest record each period's file starts with).
void RINEX_emit_nav_record(OutputStage& stage, S16 gnss_type, S16 number, const std::string& text);
void RINEX_put_nav_body(OutputStage& stage, U08 prn, U08 gnss_type);
void RINEX_put_glonav_body(OutputStage& stage, U08 slot, S08 knum);
void RINEX_put_bd2nav_body(OutputStage& stage, U08 svid);
void RINEX_put_gal_nav_body(OutputStage& stage, U08 svid);

#endif
