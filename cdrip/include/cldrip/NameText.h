#pragma once

#include <cstdlib>
#include <cstring>
#include <new>

// Text record that crosses the ripper library boundary in both directions. The text
// lives on the process heap (malloc); whoever receives a record from a slot destroys
// it with Destroy(), which frees the text and the record. Everything here is inline so
// that both sides of the boundary can create and destroy records without linking the
// library.
class NameText final {
public:
    // Slot 0: frees the text and the record.
    virtual void Destroy() {
        std::free(m_text);
        delete this;
    }

    // A new record holding a copy of text (null gives a record with no text). Returns
    // null when memory runs out.
    static NameText* Create(const char* text) {
        auto* record = new (std::nothrow) NameText();
        if (!record)
            return nullptr;
        if (text) {
            const std::size_t length = std::strlen(text);
            record->m_text = static_cast<char*>(std::calloc(length + 1, 1));
            if (!record->m_text) {
                delete record;
                return nullptr;
            }
            std::memcpy(record->m_text, text, length);
        }
        return record;
    }

    // Destroys record when there is one.
    static void Release(NameText* record) {
        if (record)
            record->Destroy();
    }

    // The text, or "" when the record holds none.
    const char* text() const { return m_text ? m_text : ""; }

    char* m_text = nullptr;
    // Heap the text came from; the process heap is the only one on this platform.
    void* m_heap = nullptr;

private:
    NameText() = default;
    ~NameText() = default;
};
