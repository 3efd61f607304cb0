#include "boundary/app_framework.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamberlyn_test {
namespace {

using tamberlyn::AppFramework;
using tamberlyn::FrameworkExtensionRecord;
using tamberlyn::FrameworkModuleState;

// A framework that records every call made to it.
struct FakeFramework {
    static FakeFramework* current;
    std::vector<std::string> calls;
    FrameworkModuleState state{};
    int init_result = 1;
    bool allocation_fails = false;
    unsigned char link[tamberlyn::kExtensionLinkBytes];
    void* init_instance = nullptr;
    void* link_memory = nullptr;

    AppFramework Table() {
        current = this;
        return {
            [] {
                current->Record("state");
                return &current->state;
            },
            [](FrameworkExtensionRecord*, void* instance) {
                current->Record("init");
                current->init_instance = instance;
                return current->init_result;
            },
            [](std::size_t bytes) -> void* {
                current->Record("allocate " + std::to_string(bytes));
                return current->allocation_fails ? nullptr : current->link;
            },
            [](void* memory, FrameworkExtensionRecord*, int flag) {
                current->link_memory = memory;
                current->Record("construct " + std::to_string(flag));
            },
            [](FrameworkExtensionRecord*, int flag) {
                current->Record("terminate " + std::to_string(flag));
            },
        };
    }
    void Record(const std::string& call) { calls.push_back(call); }
};
FakeFramework* FakeFramework::current = nullptr;

TEST(AppFramework, AttachEmptiesTheListsThenRegistersAndLinks) {
    FakeFramework fake;
    int classes = 0, factories = 0, instance = 0;
    fake.state.class_list = &classes;
    fake.state.factory_list = &factories;
    const AppFramework table = fake.Table();
    FrameworkExtensionRecord record{};

    EXPECT_TRUE(tamberlyn::AttachToFramework(&table, record, &instance));
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"state", "init", "allocate 64", "construct 0"}));
    EXPECT_EQ(fake.state.class_list_init, &classes);
    EXPECT_EQ(fake.state.factory_list_init, &factories);
    EXPECT_EQ(fake.state.class_list, nullptr);
    EXPECT_EQ(fake.state.factory_list, nullptr);
    EXPECT_EQ(fake.init_instance, &instance);
    EXPECT_EQ(fake.link_memory, fake.link);

    tamberlyn::DetachFromFramework(&table, record);
    EXPECT_EQ(fake.calls.back(), "terminate 0");
}

TEST(AppFramework, FailedRegistrationFailsTheLoadAtOnce) {
    FakeFramework fake;
    fake.init_result = 0;
    const AppFramework table = fake.Table();
    FrameworkExtensionRecord record{};
    EXPECT_FALSE(tamberlyn::AttachToFramework(&table, record, nullptr));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"state", "init"}));
}

TEST(AppFramework, FailedAllocationSkipsTheLinkButLoads) {
    FakeFramework fake;
    fake.allocation_fails = true;
    const AppFramework table = fake.Table();
    FrameworkExtensionRecord record{};
    EXPECT_TRUE(tamberlyn::AttachToFramework(&table, record, nullptr));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"state", "init", "allocate 64"}));
}

TEST(AppFramework, WithoutAFrameworkLoadAlwaysSucceeds) {
    FrameworkExtensionRecord record{};
    EXPECT_TRUE(tamberlyn::AttachToFramework(nullptr, record, nullptr));
    tamberlyn::DetachFromFramework(nullptr, record);
}

}  // namespace
}  // namespace tamberlyn_test
