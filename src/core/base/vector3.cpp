#include "base/vector3.h"

#include <cmath>

namespace kelvane {

float VectorLength(const TVector3& v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

float VectorNormalize(TVector3& v) {
  const float length = VectorLength(v);
  if (length != 0.0f) {
    v.x /= length;
    v.y /= length;
    v.z /= length;
  }
  return length;
}

void VectorSubtract(const TVector3& a, const TVector3& b, TVector3& out) {
  out.x = a.x - b.x;
  out.y = a.y - b.y;
  out.z = a.z - b.z;
}

}  // namespace kelvane
