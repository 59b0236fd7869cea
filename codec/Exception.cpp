#include "Exception.h"

#include "WmErrors.h"

Exception::Exception(std::string text)
    : m_code(cld::wmerr::kFail), m_code2(0), m_text(std::move(text)) {}

const char* Exception::what() const noexcept {
    return m_text.empty() ? "audio file failure" : m_text.c_str();
}
