#pragma once
#include <stdexcept>
#include <string>

namespace pelmora {

// A failed device link. Its message is the status text to show.
class ConnectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace pelmora
