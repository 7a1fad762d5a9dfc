// The owner-component model: an owner destroys what it owns, unless it was destroyed before.
#include "Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Writes its name into a shared log when it is destroyed, with whether it was told first.
class LoggedComponent : public TComponent {
public:
    LoggedComponent(TComponent* owner, std::string name, std::vector<std::string>& log)
        : TComponent(owner), FName(std::move(name)), FLog(log) {}
    ~LoggedComponent() override {
        FLog.push_back(FName + (IsDestroying() ? " (owner going)" : ""));
        Destroying();
    }

private:
    std::string FName;
    std::vector<std::string>& FLog;
};

TEST(CanComponent, OwnerDestroysWhatItOwnsLastCreatedFirst) {
    std::vector<std::string> log;
    auto* owner = new LoggedComponent(nullptr, "owner", log);
    new LoggedComponent(owner, "a", log);
    auto* b = new LoggedComponent(owner, "b", log);
    new LoggedComponent(b, "b.1", log);
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(b->Owner(), owner);
    delete owner;
    // The owner's own destructor body runs first; the owned ones learn that their owner goes.
    const std::vector<std::string> expected = {"owner", "b (owner going)", "b.1 (owner going)",
                                               "a (owner going)"};
    EXPECT_EQ(log, expected);
}

TEST(CanComponent, OneDestroyedBeforeItsOwnerIsNotDestroyedAgain) {
    std::vector<std::string> log;
    TComponent owner(nullptr);
    auto* a = new LoggedComponent(&owner, "a", log);
    new LoggedComponent(&owner, "b", log);
    delete a;
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0)->Owner(), &owner);
    ASSERT_EQ(log, std::vector<std::string>{"a"});
    // Leaving scope destroys only "b"; a second delete of "a" would be a use after free that
    // the sanitizer build reports.
}

TEST(CanComponent, WithoutOwnerNothingElseIsTouched) {
    std::vector<std::string> log;
    {
        LoggedComponent lone(nullptr, "lone", log);
        EXPECT_EQ(lone.Owner(), nullptr);
        EXPECT_FALSE(lone.IsDestroying());
    }
    EXPECT_EQ(log, std::vector<std::string>{"lone"});
}

} // namespace
