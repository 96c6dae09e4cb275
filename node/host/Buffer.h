#ifndef RILL_BUFFER_H
#define RILL_BUFFER_H

#include <vector>

#include "node/host/Object.h"

namespace RL {

// The frames one output keeps: a window of `length` consecutive frame counts
// ending at the newest one written, each slot with its written flag.
class Buffer : public Object {
 public:
  explicit Buffer(int length);

  // The slot of frame count f, marked written. Moving past the newest frame
  // clears the slots that fall out of the window. Throws BufferException
  // ("trying to write to non-existing element") for a frame below the window.
  ObjectRef& operator[](int f);
  // The object written for frame f. Throws BufferException for a frame outside
  // the window ("trying to read non-existing element") or a slot never
  // written ("trying to read not initialized element").
  ObjectRef& get(int f);
  // Moves the window so that f is the newest frame, without writing it:
  // frames a node computed but did not store read as not initialised.
  void advance(int f);
  // True when get(f) would succeed.
  bool isValid(int f) const;

  int getLength() const { return length; }
  int getCurrentPos() const { return currentPos; }

 private:
  bool inWindow(int f) const { return f >= 0 && f <= currentPos && f > currentPos - length; }
  int slot(int f) const { return f % length; }

  int length;
  int currentPos = -1;
  std::vector<ObjectRef> data;
  std::vector<bool> written;
};

}  // namespace RL

#endif
