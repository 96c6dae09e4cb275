#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "voice_cancel/SemiBlind.h"

extern "C" void* calloc2dim(unsigned elem_size, unsigned rows, unsigned cols) {
  std::size_t row_bytes = 0;
  std::size_t data_bytes = 0;
  std::size_t table_bytes = 0;
  std::size_t total = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(elem_size), cols, &row_bytes) ||
      __builtin_mul_overflow(row_bytes, rows, &data_bytes) ||
      __builtin_mul_overflow(static_cast<std::size_t>(rows), sizeof(void*), &table_bytes) ||
      __builtin_add_overflow(table_bytes, data_bytes, &total)) {
    return nullptr;
  }
  // At least one byte, so that an empty block is still a block to free.
  auto* block = static_cast<unsigned char*>(std::calloc(total == 0 ? 1 : total, 1));
  if (block == nullptr) return nullptr;
  auto** table = reinterpret_cast<unsigned char**>(block);
  unsigned char* row = block + table_bytes;
  for (unsigned i = 0; i < rows; ++i, row += row_bytes) table[i] = row;
  return block;
}
