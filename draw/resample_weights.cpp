#include "draw/resample_weights.h"

#include "draw/resample.h"
#include "memory/memory.h"

namespace {

double Abs(double x) { return x < 0 ? -x : x; }

INT64 Floor(double x) {
  INT64 truncated = INT64(x);
  return double(truncated) > x ? truncated - 1 : truncated;
}

INT64 RoundToInt(double x) { return x < 0 ? -INT64(-x + 0.5) : INT64(x + 0.5); }

// Weights of one output pixel, in double before they are normalised and quantised.
struct Span {
  INT64 first;
  INT64 count;
};

// The covered part of each source pixel in [centre - width, centre + width], weighed by the
// filter at its midpoint and by the covered fraction. Returns the raw weights' sum.
double RawWeights(UINT32 filter, double f, double centre, double width, INT32 old_length, double* raw, Span* span) {
  INT64 lo = Floor(centre - width);
  INT64 hi = Floor(centre + width);
  if (lo < 0) lo = 0;
  if (hi > old_length - 1) hi = old_length - 1;
  double sum = 0;
  span->first = lo;
  span->count = hi >= lo ? hi - lo + 1 : 0;
  for (INT64 j = lo; j <= hi; ++j) {
    double a = double(j) > centre - width ? double(j) : centre - width;
    double b = double(j + 1) < centre + width ? double(j + 1) : centre + width;
    double w = b > a ? DUFilterKernel(filter, f * ((a + b) / 2 - centre)) * (b - a) : 0;
    raw[j - lo] = w;
    sum += w;
  }
  return sum;
}

// Normalises raw into 16.16 steps whose sum is exactly one, drops zero weights at both ends
// (zeros inside the run stay: they add nothing) and stores the run as floats.
bool Quantise(const double* raw, double sum, Span span, INT32* first, INT32* count, float* weights) {
  INT64 total = 0, largest = -1, largest_magnitude = 0;
  for (INT64 k = 0; k < span.count; ++k) {
    INT64 v = RoundToInt(raw[k] / sum * 65536.0);
    INT64 magnitude = v < 0 ? -v : v;
    weights[k] = float(v);  // exact: |v| stays far below 2^24
    total += v;
    if (magnitude > largest_magnitude) {
      largest = k;
      largest_magnitude = magnitude;
    }
  }
  if (largest < 0) return false;
  weights[largest] += float(65536 - total);
  INT64 begin = 0, end = span.count;
  while (begin < end && weights[begin] == 0) ++begin;
  while (end > begin && weights[end - 1] == 0) --end;
  for (INT64 k = begin; k < end; ++k) weights[k - begin] = weights[k] / 65536.0f;
  *first = INT32(span.first + begin);
  *count = INT32(end - begin);
  return end > begin;
}

}  // namespace

double DUFilterSupport(UINT32 filter) {
  switch (filter) {
    case kDUFilterBox: return 0.5;
    case kDUFilterTriangle: return 1.0;
    case kDUFilterQuadratic: return 1.5;
    default: return 2.0;
  }
}

double DUFilterKernel(UINT32 filter, double x) {
  double a = Abs(x);
  switch (filter) {
    case kDUFilterBox:
      return a <= 0.5 ? 1.0 : 0.0;
    case kDUFilterTriangle:
      return a < 1.0 ? 1.0 - a : 0.0;
    case kDUFilterQuadratic:
      if (a < 0.5) return 0.75 - x * x;
      return a < 1.5 ? 0.5 * (a - 1.5) * (a - 1.5) : 0.0;
    case kDUFilterCubicBSpline:
      if (a < 1.0) return 0.5 * a * a * a - x * x + 2.0 / 3.0;
      return a < 2.0 ? (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0 : 0.0;
    case kDUFilterCatmullRom:
      if (a < 1.0) return 1.5 * a * a * a - 2.5 * x * x + 1.0;
      return a < 2.0 ? -0.5 * a * a * a + 2.5 * x * x - 4.0 * a + 2.0 : 0.0;
    case kDUFilterMitchell:
      if (a < 1.0) return 7.0 / 6.0 * a * a * a - 2.0 * x * x + 8.0 / 9.0;
      return a < 2.0 ? -7.0 / 18.0 * a * a * a + 2.0 * x * x - 10.0 / 3.0 * a + 16.0 / 9.0 : 0.0;
    default:
      return 0.0;
  }
}

void DUAxisWeightsFree(DUAxisWeights* weights) {
  PoolFree(weights->first);
  PoolFree(weights->count);
  PoolFree(weights->weights);
  *weights = DUAxisWeights{};
}

EFI_STATUS DUAxisWeightsBuild(UINT32 filter, INT32 old_length, INT32 new_length, DUAxisWeights* out) {
  *out = DUAxisWeights{};
  double scale = double(new_length) / double(old_length);
  double f = scale < 1.0 ? scale : 1.0;
  double width = DUFilterSupport(filter) / f;
  INT64 stride = Floor(2 * width) + 3;
  if (stride > INT64(old_length)) stride = old_length;
  out->output_length = new_length;
  out->stride = INT32(stride);
  out->first = static_cast<INT32*>(PoolAllocate(UINTN(new_length) * sizeof(INT32)));
  out->count = static_cast<INT32*>(PoolAllocate(UINTN(new_length) * sizeof(INT32)));
  out->weights = static_cast<float*>(PoolAllocate(UINTN(new_length) * UINTN(stride) * sizeof(float)));
  double* raw = static_cast<double*>(PoolAllocate(UINTN(stride) * sizeof(double)));
  if (!out->first || !out->count || !out->weights || !raw) {
    PoolFree(raw);
    DUAxisWeightsFree(out);
    return EFI_OUT_OF_RESOURCES;
  }
  EFI_STATUS status = EFI_SUCCESS;
  for (INT32 i = 0; i < new_length && !EFI_ERROR(status); ++i) {
    Span span;
    double centre = (i + 0.5) / scale;
    double sum = RawWeights(filter, f, centre, width, old_length, raw, &span);
    if (span.count > stride || sum == 0 ||
        !Quantise(raw, sum, span, &out->first[i], &out->count[i], out->weights + UINTN(i) * UINTN(stride))) {
      status = EFI_ABORTED;
      break;
    }
    if (out->count[i] > out->widest) out->widest = out->count[i];
  }
  PoolFree(raw);
  if (EFI_ERROR(status)) DUAxisWeightsFree(out);
  return status;
}
