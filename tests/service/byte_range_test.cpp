#include "service/byte_range.h"

#include <gtest/gtest.h>

using quorvel::service::parseRange;
using Kind = quorvel::service::RangeRequest::Kind;

namespace {

struct RangeCase {
    const char* name;
    const char* header;
    qint64 size;
    Kind kind;
    qint64 offset;
    qint64 length;
};

class ServiceByteRangeTest : public ::testing::TestWithParam<RangeCase> { };

TEST_P(ServiceByteRangeTest, ParsesAgainstSize)
{
    const RangeCase& c = GetParam();
    const auto range = parseRange(c.header, c.size);
    EXPECT_EQ(range.kind, c.kind);
    if (c.kind == Kind::Partial) {
        EXPECT_EQ(range.offset, c.offset);
        EXPECT_EQ(range.length, c.length);
        EXPECT_LE(range.offset + range.length, c.size) << "a range never reaches past the file";
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, ServiceByteRangeTest,
    ::testing::Values(RangeCase { "no_header_is_whole", "", 1000, Kind::Whole, 0, 0 },
        RangeCase { "open_ended_from_zero", "bytes=0-", 1000, Kind::Partial, 0, 1000 },
        RangeCase { "open_ended_middle", "bytes=400-", 1000, Kind::Partial, 400, 600 },
        RangeCase { "closed", "bytes=100-199", 1000, Kind::Partial, 100, 100 },
        RangeCase { "single_byte", "bytes=999-999", 1000, Kind::Partial, 999, 1 },
        RangeCase { "end_past_size_is_clamped", "bytes=900-5000", 1000, Kind::Partial, 900, 100 },
        RangeCase { "suffix", "bytes=-300", 1000, Kind::Partial, 700, 300 },
        RangeCase { "suffix_longer_than_file", "bytes=-5000", 1000, Kind::Partial, 0, 1000 },
        RangeCase { "spaces_tolerated", " bytes = 10-19 ", 1000, Kind::Partial, 10, 10 },
        RangeCase { "start_at_size_unsatisfiable", "bytes=1000-", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "start_past_size_unsatisfiable", "bytes=999999999-", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "suffix_zero_unsatisfiable", "bytes=-0", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "reversed_unsatisfiable", "bytes=500-100", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "garbage_unsatisfiable", "bytes=abc", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "negative_start_is_suffix_syntax_error", "bytes=--5", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "plus_sign_rejected", "bytes=+5-", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "overflowing_number_rejected", "bytes=99999999999999999999-", 1000, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "empty_file_any_range", "bytes=0-", 0, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "empty_file_suffix", "bytes=-10", 0, Kind::Unsatisfiable, 0, 0 },
        RangeCase { "other_unit_ignored", "items=0-5", 1000, Kind::Whole, 0, 0 },
        RangeCase { "multi_range_served_whole", "bytes=0-1,5-6", 1000, Kind::Whole, 0, 0 },
        RangeCase { "no_equals_unsatisfiable", "bytes", 1000, Kind::Unsatisfiable, 0, 0 }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
