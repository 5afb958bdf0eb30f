#include "storage/file_exception.h"

namespace zarn {

FileException::~FileException() = default;

}  // namespace zarn
