// The exact words users read, checked where they reach them: what a store publishes for each
// failure. Tests that compare against the shared constants would pass with a look-alike character
// (three full stops for an ellipsis, a hyphen for a dash) in the constant itself.
#include "fixture.h"

namespace quorvel::testing {
namespace {

const QByteArray job = R"({"job":"j"})";

class UserFacingTextsTest : public ServiceTest {
protected:
    void SetUp() override { secrets.items.insert(apiTokenItem, "tok"); }

    // Runs one generation against these answers to its end.
    void generate(const Reply& generateReply, const Reply& pollReply = json(200, "{}"))
    {
        server.serve("/generate", generateReply);
        server.serve("/jobs/j", pollReply);
        ASSERT_TRUE(store.start(recipe()));
        ASSERT_TRUE(finishes(store));
    }
    // The enrollment text after an ensureEnrolled on an empty secret store.
    std::optional<QString> enrollmentText(const Reply& enrollReply, bool addFails)
    {
        secrets.items.clear();
        secrets.failAdds = addFails;
        server.serve("/enroll", enrollReply);
        EXPECT_FALSE(await(auth.ensureEnrolled()));
        secrets.failAdds = false;
        return auth.enrollmentError();
    }
    // The error of a title save or publish of a finished clip that the service refuses.
    std::optional<QString> followUpText(bool publish)
    {
        generate(json(200, job), json(200, R"({"done":true,"ok":true,"clip":"c"})"));
        server.serve(publish ? "/publish" : "/title", json(500, "{}"));
        await(publish ? store.publish("Fog") : store.saveTitle("Fog"));
        return store.error();
    }
};

TEST_F(UserFacingTextsTest, EachOutcomePublishesItsExactText)
{
    struct Row {
        const char* name;
        std::function<std::optional<QString>()> published;
        const char* text;
    };
    const auto error = [&] { return store.error(); };
    const auto stage = [&] { return std::optional(store.stage()); };
    const Row rows[] = {
        { "no connection",
            [&] {
                generate(cut(R"({"job":"jjjjjjjj"})"));
                return error();
            },
            "Couldn't reach Quorvel. Please try again." },
        { "enrollment yields no token", [&] { return enrollmentText(json(500, "{}"), false); },
            "Couldn't set up this Mac with Quorvel. Check your connection and try again." },
        { "the secret store refuses the token", [&] { return enrollmentText(json(200, tokenReply("t")), true); },
            "Quorvel couldn't securely save its credentials. Please try again." },
        { "401 again after re-enrollment",
            [&] {
                server.serve("/enroll", json(200, tokenReply("again")));
                generate(json(401, "{}"));
                return error();
            },
            "Quorvel couldn't verify this Mac. Please try again in a moment." },
        { "update required",
            [&] {
                generate(json(426, "{}"));
                return error();
            },
            "A required Quorvel update is available. Please update to keep creating - an older version can't be "
            "used after this security update." },
        { "a run in progress",
            [&] {
                server.serve("/generate", silent);
                EXPECT_TRUE(store.start(recipe()));
                EXPECT_FALSE(store.start(recipe()));
                const std::optional<QString> text = error();
                store.cancel();
                return text;
            },
            "A wumble is already generating." },
        { "empty prompt",
            [&] {
                EXPECT_FALSE(store.start(recipe(" \n")));
                return error();
            },
            "Describe the wumble you want to create." },
        { "prompt too long",
            [&] {
                EXPECT_FALSE(store.start(recipe(QString(2001, 'a'))));
                return error();
            },
            "Keep the description under 2000 characters." },
        { "five failed polls",
            [&] {
                generate(json(200, job), json(200, "not json"));
                return error();
            },
            "Lost contact with Quorvel. Please try again." },
        { "refused as inappropriate",
            [&] {
                generate(json(200, job), json(200, R"({"done":true,"ok":false,"log":"vetting: INAPPROPRIATE"})"));
                return error();
            },
            "This prompt isn't appropriate for the all-ages community. Please rewrite it." },
        { "ended without a clip or a log",
            [&] {
                generate(json(200, job), json(200, R"({"done":true,"ok":false})"));
                return error();
            },
            "Generation failed. Please try again." },
        { "title not saved", [&] { return followUpText(false); }, "Couldn't save the title." },
        { "not published", [&] { return followUpText(true); }, "Couldn't add this wumble to the community." },
        { "sending",
            [&] {
                server.serve("/generate", silent);
                EXPECT_TRUE(store.start(recipe()));
                const std::optional<QString> text = stage();
                store.cancel();
                return text;
            },
            "Sending your recipe…" },
        { "ready",
            [&] {
                generate(json(200, job), json(200, R"({"done":true,"ok":true,"clip":"c"})"));
                return stage();
            },
            "Your wumble is ready" },
        { "stopped",
            [&] {
                generate(json(200, job), json(200, R"({"done":true,"ok":false,"log":"INAPPROPRIATE"})"));
                return stage();
            },
            "Generation stopped" },
        { "failed",
            [&] {
                generate(json(200, R"({"error":"Out of credits"})"));
                return stage();
            },
            "Generation failed" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.published(), QString::fromUtf8(row.text)) << row.name;
}

} // namespace
} // namespace quorvel::testing
