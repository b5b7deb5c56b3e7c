#include "engine/behaviours/VXBehaviourLink.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

namespace vx
{
    namespace
    {
        using test::frame;

        struct Link : ::testing::Test
        {
            ParamRange owner{"Gain", 0.0, ValueRange<double>()};
            std::shared_ptr<ParamRange> target = std::make_shared<ParamRange>("Target", 0.0, ValueRange<double>());
            std::shared_ptr<BehaviourLink> link = std::make_shared<BehaviourLink>(owner);

            void SetUp() override
            {
                owner.setBehaviour(link);
                ASSERT_TRUE(link->link(target, true, true));
            }
            void TearDown() override { owner.removeBehaviour(); }
        };

        TEST_F(Link, ValuesTravelBothWaysWithoutEchoing)
        {
            test::RecordingParamListener listener;
            target->addListener(listener, false);
            owner.setValueNormalized(0.3, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(target->getValueNormalized(), 0.3);
            EXPECT_EQ(listener.events().size(), 1u);
            target->setValueNormalized(0.8, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.8);
            EXPECT_EQ(listener.events().size(), 2u);
            target->removeListener(listener);
            EXPECT_EQ(target->getAltName(), "Gain");
            EXPECT_EQ(target->getBehaviour()->getLinkCount(), 1);
        }

        TEST_F(Link, InvertMirrorsBothWaysAndPullsWhenSwitched)
        {
            link->getInvertParam()->setValue(true, ValueChangeInfo());
            owner.setValueNormalized(0.25, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(target->getValueNormalized(), 0.75);
            target->setValueNormalized(0.1, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.9);
            link->getInvertParam()->setValue(false, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.1);
        }

        TEST_F(Link, RangeToListenToMapsTheWindow)
        {
            link->getRangeToListenTo()->setStartStopRange(ValueRange<double>(0.2, 0.6), ValueChangeInfo());
            target->setValueNormalized(0.4, ValueChangeInfo());
            EXPECT_NEAR(owner.getValueNormalized(), 0.5, 1e-12);
            owner.setValueNormalized(0.75, ValueChangeInfo());
            EXPECT_NEAR(target->getValueNormalized(), 0.5, 1e-12);
        }

        TEST_F(Link, FollowingTheWindowCopiesItOnEveryPull)
        {
            target->setStartStopRange(ValueRange<double>(0.25, 0.5), ValueChangeInfo());
            link->setFollowsStartStopRange(true);
            EXPECT_EQ(owner.getStartStopRange().min, 0.25);
            EXPECT_EQ(owner.getStartStopRange().max, 0.5);
        }

        TEST_F(Link, LastLinkGoingAwayResetsTheTarget)
        {
            ParamRange second("Second", 0.0, ValueRange<double>());
            auto other = std::make_shared<BehaviourLink>(second);
            second.setBehaviour(other);
            ASSERT_TRUE(other->link(target, false, false));
            target->setValueNormalized(0.6, ValueChangeInfo());
            EXPECT_EQ(target->getBehaviour()->getLinkCount(), 2);

            link->unlink();
            EXPECT_EQ(target->getAltName(), "Gain");
            EXPECT_DOUBLE_EQ(target->getValueNormalized(), 0.6);
            second.removeBehaviour(); // the last link dies with its behaviour
            other.reset();
            EXPECT_EQ(target->getAltName(), "");
            EXPECT_EQ(target->getValueNormalized(), 0.0);
            EXPECT_EQ(target->getBehaviour()->getLinkCount(), 0);
        }

        TEST_F(Link, TargetHeldByNoOneElseStaysValidAndIsReleasedCleanly)
        {
            std::weak_ptr<ParamRange> watch = target;
            target.reset();
            owner.setValueNormalized(0.4, ValueChangeInfo());
            ASSERT_FALSE(watch.expired());
            EXPECT_DOUBLE_EQ(watch.lock()->getValueNormalized(), 0.4);
            owner.removeBehaviour();
            link.reset();
            EXPECT_TRUE(watch.expired());
        }

        TEST(LinkOwner, DyingWithItsLinkLeavesTheTargetSafeToChange)
        {
            auto target = std::make_shared<ParamRange>("Target", 0.0, ValueRange<double>());
            {
                ParamRange owner("Gain", 0.0, ValueRange<double>());
                auto link = std::make_shared<BehaviourLink>(owner);
                owner.setBehaviour(link);
                ASSERT_TRUE(link->link(target, true, true));
            }
            target->setValueNormalized(0.5, ValueChangeInfo());
            EXPECT_EQ(target->getBehaviour()->getLinkCount(), 0);
            EXPECT_EQ(target->getAltName(), "");
        }

        TEST_F(Link, CycleOfLinksEnds)
        {
            auto back = std::make_shared<BehaviourLink>(*target);
            target->setBehaviour(back);
            ParamRange* ownerPointer = &owner;
            ASSERT_TRUE(back->link(std::shared_ptr<ParamBase>(ownerPointer, [](ParamBase*) {}), false, false));
            link->getInvertParam()->setValue(true, ValueChangeInfo());
            owner.setValueNormalized(0.2, ValueChangeInfo());
            target->setValueNormalized(0.7, ValueChangeInfo());
            SUCCEED();
            back->unlink();
            target->removeBehaviour();
        }

        TEST_F(Link, OnlyRangeParametersLink)
        {
            EXPECT_FALSE(link->link(std::make_shared<Param<double>>("Plain", 0.0), true, true));
            EXPECT_FALSE(link->link(std::shared_ptr<ParamBase>(), true, true));
            EXPECT_EQ(link->getLinkedParam(), target);
        }

        TEST(LinkByPath, WithoutAnEngineRootNothingIsCreatedOrDereferenced)
        {
            test::LogRecorder log;
            ParamRange owner("Gain", 0.0, ValueRange<double>());
            BehaviourLink link(owner);
            EXPECT_FALSE(link.BehaviourLinkBase::link("/fx/gain", true, true));
            EXPECT_EQ(EngineRoot::getCurrent(), nullptr);
            EXPECT_TRUE(log.contains("/fx/gain")) << log.dump();
            link.setPathToLink("~/gain");
            EXPECT_FALSE(link.resolveLink());
            EXPECT_EQ(link.getPathToLink(), "~/gain");
        }

        struct Upstream
        {
            const char* name;
            const char* pathToLink;
            bool withOwnLevel;
            const char* found;
        };

        using LinkUpstream = ::testing::TestWithParam<Upstream>;

        TEST_P(LinkUpstream, SearchesFromTheBehavioursPathUpwardsNeverAtTheRoot)
        {
            const Upstream& u = GetParam();
            test::ScopedRegistry registry;
            const auto rootLevel = registry.add("/gain");
            const auto parentLevel = registry.add("/a/gain");
            const auto ownLevel = u.withOwnLevel ? registry.add("/a/b/gain") : nullptr;
            ParamRange owner("Gain", 0.0, ValueRange<double>());
            auto link = std::make_shared<BehaviourLink>(owner);
            owner.setBehaviour(link);
            link->setPath("/a/b");
            link->setPathToLink(u.pathToLink);
            link->resolveLink();
            const auto linked = link->getLinkedParam();
            EXPECT_EQ(linked != nullptr ? linked->getPath() : std::string(), u.found);
            owner.removeBehaviour();
        }

        INSTANTIATE_TEST_SUITE_P(Table, LinkUpstream,
                                 ::testing::Values(Upstream{"OwnLevelFirst", "~/gain", true, "/a/b/gain"},
                                                   Upstream{"ThenTheParent", "~/gain", false, "/a/gain"},
                                                   Upstream{"PrefixIgnored", "x~/gain", false, "/a/gain"},
                                                   Upstream{"AbsolutePath", "/gain", false, "/gain"},
                                                   Upstream{"OneCharacterIsAbsolute", "~", false, ""}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST(LinkXml, PendingPathResolvesLaterAndIsWrittenAsTheTargetsPath)
        {
            test::ScopedRegistry registry;
            ParamRange owner("Gain", 0.5, ValueRange<double>());
            const auto document = test::parseText("<ParamRange name=\"Gain\" value=\"0.5\">"
                                                  "<BehaviourLink name=\"BehaviourLink\" pathToLink=\"~/level\"/>"
                                                  "</ParamRange>");
            owner.setPath("/mixer/gain");
            owner.readState(document->first_node(), false);
            const auto link = owner.behaviour<BehaviourLink>();
            ASSERT_NE(link, nullptr);
            EXPECT_EQ(link->getLinkedParam(), nullptr);
            EXPECT_NE(test::writeToText(owner, false).find("pathToLink=\"~/level\""), std::string::npos);

            const auto level = registry.add("/mixer/gain/level");
            owner.setPath("/mixer/gain2");
            owner.setPath("/mixer/gain");
            ASSERT_EQ(link->getLinkedParam(), level);
            EXPECT_TRUE(link->getPathToLink().empty());
            EXPECT_NE(test::writeToText(owner, false).find("pathToLink=\"/mixer/gain/level\""), std::string::npos);
            level->setRelativeLinkPath("~/level");
            EXPECT_NE(test::writeToText(owner, false).find("pathToLink=\"~/level\""), std::string::npos);
            owner.removeBehaviour();
        }
    }
}
