#include "node/host/Buffer.h"

#include "node/host/Exception.h"

namespace RL {

Buffer::Buffer(int len) : length(len < 1 ? 1 : len), data(length), written(length, false) {}

void Buffer::advance(int f) {
  if (f <= currentPos) return;
  // Slots between the old newest frame and f now belong to frames never written.
  int first = currentPos + 1 > f - length + 1 ? currentPos + 1 : f - length + 1;
  for (int i = first; i <= f; ++i) {
    data[slot(i)] = ObjectRef();
    written[slot(i)] = false;
  }
  currentPos = f;
}

ObjectRef& Buffer::operator[](int f) {
  if (f < 0 || f <= currentPos - length)
    throw new BufferException("trying to write to non-existing element", f);
  advance(f);
  written[slot(f)] = true;
  return data[slot(f)];
}

ObjectRef& Buffer::get(int f) {
  if (!inWindow(f)) throw new BufferException("trying to read non-existing element", f);
  if (!written[slot(f)]) throw new BufferException("trying to read not initialized element", f);
  return data[slot(f)];
}

bool Buffer::isValid(int f) const {
  return inWindow(f) && written[slot(f)];
}

}  // namespace RL
