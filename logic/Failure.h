#pragma once

#include <stdexcept>
#include <string>

namespace vesmira {

// A failure that ends the event that raised it and is shown to the user in the
// failure box. message() is the exact user-visible text, UTF-8, every byte of
// it: a field text or a step file line may hold NUL, at which what() stops.
class Failure : public std::runtime_error {
  public:
    explicit Failure(const std::string& message) : std::runtime_error(message), message_(message) {}
    const std::string& message() const { return message_; }

  private:
    std::string message_;
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
