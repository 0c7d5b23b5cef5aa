#pragma once

#include <array>
#include <cmath>

// Arithmetic on three-component vectors held as arrays, in float for what
// is drawn and in double for what is picked.
namespace kelvane {

template <typename T>
using Vec3Of = std::array<T, 3>;

template <typename T>
Vec3Of<T> Sub(const Vec3Of<T>& a, const Vec3Of<T>& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

template <typename T>
Vec3Of<T> Add(const Vec3Of<T>& a, const Vec3Of<T>& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

template <typename T>
Vec3Of<T> Scale(const Vec3Of<T>& a, T s) {
  return {a[0] * s, a[1] * s, a[2] * s};
}

template <typename T>
T Dot(const Vec3Of<T>& a, const Vec3Of<T>& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

template <typename T>
Vec3Of<T> Cross(const Vec3Of<T>& a, const Vec3Of<T>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

template <typename T>
T Length(const Vec3Of<T>& a) {
  return std::sqrt(Dot(a, a));
}

// The vector at length 1; a zero vector stays as it is.
template <typename T>
Vec3Of<T> Unit(const Vec3Of<T>& a) {
  const T length = Length(a);
  return length > T(0) ? Vec3Of<T>{a[0] / length, a[1] / length, a[2] / length} : a;
}

}  // namespace kelvane
