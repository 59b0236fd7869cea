#pragma once

#include <cstdint>
#include <exception>

// A failure of a media-component call, carrying only its failure code. The text for the
// user comes from GetErrorText.
class WMException : public std::exception {
public:
    explicit WMException(uint32_t code) : m_code(code) {}
    uint32_t GetCode() const { return m_code; }
    const char* what() const noexcept override;

private:
    uint32_t m_code;
};
