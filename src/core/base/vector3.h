#pragma once

namespace kelvane {

struct TVector3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

float VectorLength(const TVector3& v);
// Leaves a zero vector unchanged; returns the length it had.
float VectorNormalize(TVector3& v);
void VectorSubtract(const TVector3& a, const TVector3& b, TVector3& out);

}  // namespace kelvane
