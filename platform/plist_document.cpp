#include "platform/plist_document.h"

#include <plist/plist.h>

#include <limits>

namespace quorvel::platform::detail {

void PlistDocument::Free::operator()(void* node) const
{
    plist_free(static_cast<plist_t>(node));
}

std::optional<PlistDocument> PlistDocument::parse(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    plist_t root = nullptr;
    const auto length = static_cast<uint32_t>(bytes.size());
    if (plist_is_binary(bytes.constData(), length))
        plist_from_bin(bytes.constData(), length, &root);
    else
        plist_from_xml(bytes.constData(), length, &root);
    if (!root)
        return std::nullopt;
    return PlistDocument(root);
}

std::optional<QString> PlistDocument::rootString(const char* key) const
{
    auto* root = static_cast<plist_t>(root_.get());
    if (plist_get_node_type(root) != PLIST_DICT)
        return std::nullopt;
    plist_t node = plist_dict_get_item(root, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    // Not plist_get_string_val: libplist asserts (aborting the process) on a string with a NUL inside.
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (!text || length > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    const QByteArray bytes(text, static_cast<qsizetype>(length));
    // An identifier or file name with a NUL inside is not one.
    if (bytes.contains('\0'))
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

} // namespace quorvel::platform::detail
