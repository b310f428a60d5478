// A failure that ends a trhost command: one line for the user and the exit code of the stage that
// failed (exit_codes.h). Thrown before any output file exists, or after the partial ones are removed.
#ifndef TRHOST_COMMAND_ERROR_H
#define TRHOST_COMMAND_ERROR_H

#include <stdexcept>
#include <string>

namespace trhost {

class CommandError : public std::runtime_error {
public:
    CommandError(int exit_code, const std::string& message) : std::runtime_error(message), m_exit_code(exit_code) {}
    int ExitCode() const { return m_exit_code; }

private:
    int m_exit_code;
};

}  // namespace trhost

#endif  // TRHOST_COMMAND_ERROR_H
