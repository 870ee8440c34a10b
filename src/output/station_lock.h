// One run per station and folder. A run that writes a station's files
// period by period (a live source, or --split) holds an exclusive lock on the
// file STATION.lock in its output folder, which names its process; a second
// run of the station into that folder is refused while the first one lives.
// The system lets go of a lock when its process ends, however it ends (a
// kill, a crash), so the lock of a dead run is taken over.
#ifndef VLN_OUTPUT_STATION_LOCK_H
#define VLN_OUTPUT_STATION_LOCK_H

#include <string>

class StationLock {
 public:
  StationLock() = default;
  StationLock(const StationLock&) = delete;
  StationLock& operator=(const StationLock&) = delete;
  ~StationLock() { release(); }

  // Takes the lock of station in folder ("" for the working folder), creating
  // the folder when missing; "" on success, else the whole console line
  // saying why not (another run holds it, naming its process, or the folder
  // cannot be written, with the system's reason).
  std::string take(const std::string& folder, const std::string& station);
  // Lets go of the lock and removes its file.
  void release();

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

#endif
