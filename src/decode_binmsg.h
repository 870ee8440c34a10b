// Binary message decoding: the dispatcher that runs the decoder of each
// checked frame by its ID, counts the IDs and has epochs, event lines and
// navigation records written; the measurement decoders; the navigation-data
// extractors and the GLONASS frequency numbers learnt from the almanac.
#ifndef VLN_DECODE_BINMSG_H
#define VLN_DECODE_BINMSG_H

#include "data_type.h"

class FileSet;

// The measurement messages' layouts, which the conversion and the signal scan
// both read: 0xDC (time) whole, 0xDD's header and records, 0xE5's header and records.
constexpr U16 kMeasTimeLen = 10;
constexpr U16 kMeasHeaderLen = 3, kMeasRecordLen = 23;
constexpr U16 kExtMeasHeaderLen = 14, kExtMeasRecordLen = 31;

// Decodes one payload (buf[0] is the ID, len bytes in all) and writes what it
// completes, routing epochs and events into the run's files.
S16 Decode_binary_message_process(U08 msg_id, U08* buf, U16 len, FileSet& files);
// Epochs counted so far: the 0xDC messages, or the 0xE5 messages when there are none.
S32 Decode_get_number_of_epoch();
// Prints the per-ID counters as two "Msg cnt:" lines.
void Decode_show_decoded_msg_number();
// Clears the counters and the almanac state, for a clean start.
void Decode_init();

// The constellation and internal signal type of a record of the extended
// measurement message, from its first byte.
void Decode_extended_signal(U08 first_byte, S16* gnss_type, U08* signal_type);

// GLONASS frequency channel number of a slot (1-24) learnt from the almanac; -9 = unknown.
S08 Decode_get_almanac_k_num(S16 slot);

// Navigation-data extractors; each checks the payload length, satellite and
// piece numbers, hands the piece on and, on a new ephemeris, fills the outputs.
void extract_gps_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                              S16* svid_p);
void extract_glonass_string_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                                S16* slot_p);
void extract_bd2_d1_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                                 S16* svid_p);
void extract_bd2_d2_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* gnss_type_p,
                                 S16* svid_p);
S16 extract_sbas_subframe_msg(const U08* buf, U16 len, S16* svid_p);
void extract_gal_subframe_msg(const U08* buf, U16 len, S16* enable_put_p, S16* svid_p);
// Clears the almanac frequency numbers and the frame time of the last string 1.
void Decode_init_glonass_almanac();

#endif
