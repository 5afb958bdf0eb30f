#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_EXCEPTION_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_EXCEPTION_H_

#include <stdexcept>
#include <string>

namespace zarn {

// Every manifest failure is one of the four kinds below; catch ManifestStreamException
// before ManifestException where a transient stream failure must be told apart.
class ManifestException : public std::runtime_error {
 public:
  explicit ManifestException(const std::string& message = std::string())
      : std::runtime_error(message) {}
};

// The document cannot be located: bad URL, a client error, or not the package asked for.
class ManifestLocatorException : public ManifestException {
 public:
  using ManifestException::ManifestException;
};

// The bytes cannot be fetched or stored (transient).
class ManifestStreamException : public ManifestException {
 public:
  using ManifestException::ManifestException;
};

// The bytes are not a valid document, or its content is invalid.
class ManifestParseException : public ManifestException {
 public:
  using ManifestException::ManifestException;
};

// A file's chunk count does not fit in 32 bits.
class ManifestOverflowException : public ManifestException {
 public:
  using ManifestException::ManifestException;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_EXCEPTION_H_
