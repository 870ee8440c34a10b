// Command line and raw stream: the pass over the raw stream that frames it
// and hands each frame to the dispatcher, and the run sequence around it.
// (The entry point itself, with the argument handling, is in main.cpp.)
#ifndef VLN_MAIN_H
#define VLN_MAIN_H

#include <cstdio>

#include "data_type.h"
#include "raw_journal.h"
#include "rinex_files.h"
#include "source/byte_source.h"
#include "source/live_reader.h"

// Reads and frames the source to its end (for a live source: until the run
// is stopped) or the epoch limit into the run's files (a live source's bytes
// into the raw journal too, once it is started), then prints the
// summary; live is the source as a live reader, with its news, or nullptr for
// a file. Returns why reading stopped before the end of the input (an errno
// value); 0 after a clean end.
int parsing_raw_file_and_put_obs_nav_record(FileSet& files, RawJournal& journal, ByteSource* source,
                                            LiveReader* live);
// Runs the conversion over an open raw log into the outputs RINEX_init created:
// headers, the pass over the log, the header rewrite; closes all three files.
// Returns the exit status: 1, or 2 when the log could not be read to its end or
// an output could not be written completely (the reason is printed), 3 when
// the log's periods have files already.
// fp_raw is nullptr for a live source (source).
int convert_raw_file(FileSet& files, FILE* fp_raw, const SourceAddress& source, S16 enable_gps,
                     S16 enable_qzss, S16 enable_sbas, S16 enable_glo, S16 enable_bd2,
                     S16 enable_gal, S16 freq_mode);

#endif
