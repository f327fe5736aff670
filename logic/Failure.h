#pragma once

#include <stdexcept>
#include <string>

namespace vesmira {

// A failure that ends the event that raised it and is shown to the user in the
// failure box. what() is the exact user-visible text, UTF-8.
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A field text that had to be a number is not integer text.
class ConversionFailure : public Failure {
  public:
    explicit ConversionFailure(const std::string& text);
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

}  // namespace vesmira
