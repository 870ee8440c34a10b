// Fixed-width names and the small records shared by every unit.
#ifndef VLN_DATA_TYPE_H
#define VLN_DATA_TYPE_H

#include <cstdint>

typedef uint8_t U08;
typedef int8_t S08;
typedef uint16_t U16;
typedef int16_t S16;
typedef uint32_t U32;
typedef int32_t S32;
typedef float F32;
typedef double D64;

// Broken-down calendar time; carries whatever time scale the caller converted.
typedef struct {
  S16 year;
  S16 month;
  S16 day;
  S16 day_of_year;
  S16 hour;
  S16 minute;
  D64 sec;
} UTC_TIME_T;

// ECEF position in metres.
typedef struct {
  D64 px;
  D64 py;
  D64 pz;
} POS_T;

// Velocity in metres per second.
typedef struct {
  F32 vx;
  F32 vy;
  F32 vz;
} VEL_T;

// Converts a double to a 32-bit signed integer the way x86-64 hardware does:
// truncated toward zero when the result fits, else INT32_MIN (also for NaN
// and the infinities). A plain cast of such values is undefined and gives
// different results on different processors; damaged logs reach them.
inline S32 D64_to_S32(D64 x) {
  if (x > -2147483649.0 && x < 2147483648.0) return (S32)x;
  return INT32_MIN;
}

#endif
