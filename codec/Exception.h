#pragma once

#include <cstdint>
#include <exception>
#include <string>

// A failure of the audio-file or format-conversion layer: a failure code, a second code
// and, when built from a text, that text (the code is then the generic failure code).
class Exception : public std::exception {
public:
    explicit Exception(uint32_t code, uint32_t code2 = 0) : m_code(code), m_code2(code2) {}
    explicit Exception(std::string text);
    uint32_t GetCode() const { return m_code; }
    uint32_t GetCode2() const { return m_code2; }
    const std::string& GetText() const { return m_text; }
    const char* what() const noexcept override;

private:
    uint32_t m_code;
    uint32_t m_code2;
    std::string m_text;
};
