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
    qint64 offset = 0;
    qint64 length = 0;
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
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, ServiceByteRangeTest,
    ::testing::Values(RangeCase { "no_header_is_whole", "", 1000, Kind::Whole },
        RangeCase { "open_ended", "bytes=400-", 1000, Kind::Partial, 400, 600 },
        RangeCase { "single_last_byte", "bytes=999-999", 1000, Kind::Partial, 999, 1 },
        RangeCase { "end_past_size_is_clamped", "bytes=900-5000", 1000, Kind::Partial, 900, 100 },
        RangeCase { "suffix", "bytes=-300", 1000, Kind::Partial, 700, 300 },
        RangeCase { "suffix_longer_than_file", "bytes=-5000", 1000, Kind::Partial, 0, 1000 },
        RangeCase { "spaces_tolerated", " bytes = 10-19 ", 1000, Kind::Partial, 10, 10 },
        RangeCase { "start_at_size", "bytes=1000-", 1000, Kind::Unsatisfiable },
        RangeCase { "suffix_zero", "bytes=-0", 1000, Kind::Unsatisfiable },
        RangeCase { "reversed", "bytes=500-100", 1000, Kind::Unsatisfiable },
        RangeCase { "garbage", "bytes=abc", 1000, Kind::Unsatisfiable },
        RangeCase { "double_minus", "bytes=--5", 1000, Kind::Unsatisfiable },
        RangeCase { "plus_sign", "bytes=+5-", 1000, Kind::Unsatisfiable },
        RangeCase { "overflowing_number", "bytes=99999999999999999999-", 1000, Kind::Unsatisfiable },
        RangeCase { "empty_file_suffix", "bytes=-10", 0, Kind::Unsatisfiable },
        RangeCase { "other_unit_ignored", "items=0-5", 1000, Kind::Whole },
        RangeCase { "multi_range_served_whole", "bytes=0-1,5-6", 1000, Kind::Whole },
        RangeCase { "no_equals", "bytes", 1000, Kind::Unsatisfiable }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
