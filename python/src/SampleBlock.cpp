#include "python/src/SampleBlock.h"

#include <cstdint>
#include <string>

namespace py = pybind11;

namespace vesk_python {

namespace {

template <typename T>
void append(const py::array& samples, float scale, std::vector<float>& out) {
  auto block = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(samples);
  if (!block) throw py::error_already_set();
  const T* p = block.data();
  const py::ssize_t n = block.size();
  out.resize(static_cast<std::size_t>(n));
  for (py::ssize_t i = 0; i < n; ++i)
    out[static_cast<std::size_t>(i)] = static_cast<float>(p[i]) * scale;
}

}  // namespace

std::vector<float> interleavedSamples(const py::array& samples, int channels) {
  // Either byte order: a big-endian block is converted as it is read.
  const py::dtype type = samples.dtype();
  const char kind = type.kind();
  const py::ssize_t size = type.itemsize();
  const bool isFloat = kind == 'f' && size == 4, isDouble = kind == 'f' && size == 8,
             isShort = kind == 'i' && size == 2;
  if (!isFloat && !isDouble && !isShort)
    throw py::type_error("samples of dtype " +
                         py::str(static_cast<const py::handle&>(type)).cast<std::string>() +
                         ": expected float32, float64 or int16");
  const py::ssize_t dims = samples.ndim();
  const std::string shape = py::str(py::tuple(samples.attr("shape")));
  if (dims == 2 && samples.shape(1) != channels)
    throw py::value_error("samples of shape " + shape + ": expected (frames, " +
                          std::to_string(channels) + ") for " + std::to_string(channels) +
                          " channel(s)");
  if (dims == 1 && samples.shape(0) % channels != 0)
    throw py::value_error("samples of shape " + shape + ": " + std::to_string(samples.shape(0)) +
                          " interleaved samples are not whole frames of " +
                          std::to_string(channels) + " channels");
  if (dims != 1 && dims != 2)
    throw py::value_error("samples of shape " + shape +
                          ": expected 1-D (mono or interleaved) or 2-D (frames, channels)");

  std::vector<float> out;
  if (isFloat)
    append<float>(samples, 1.0f, out);
  else if (isDouble)
    append<double>(samples, 1.0f, out);
  else
    append<std::int16_t>(samples, 1.0f / 32768.0f, out);
  return out;
}

}  // namespace vesk_python
