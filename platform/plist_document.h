#pragma once
// A parsed property list (XML or binary) owned for its lifetime; libplist's C API underneath.

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace quorvel::platform::detail {

class PlistDocument {
public:
    // None when the bytes are neither an XML nor a binary property list.
    static std::optional<PlistDocument> parse(const QByteArray& bytes);

    // The string under `key` of the root dictionary; none when the root is not a dictionary, the
    // key is missing, or its value is not a string.
    std::optional<QString> rootString(const char* key) const;

private:
    struct Free {
        void operator()(void* node) const;
    };
    explicit PlistDocument(void* root)
        : root_(root)
    {
    }
    std::unique_ptr<void, Free> root_;
};

} // namespace quorvel::platform::detail
