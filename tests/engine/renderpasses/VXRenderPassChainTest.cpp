#include "engine/renderpasses/VXRenderPassChain.h"

#include "VXRenderPassTestSupport.h"
#include "core/VXTimeUnit.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/renderpasses/VXRenderPassView.h"

#include <string>

namespace vx::test
{
    namespace
    {
        // Counts its starts and stops.
        class LifecyclePass : public AddConstantPass
        {
        public:
            explicit LifecyclePass(const std::string& passName = "Blur") { setName(passName, true); }
            void start(bool restart, const TimeUnit& time) override
            {
                ++starts;
                AddConstantPass::start(restart, time);
            }
            void stop(const TimeUnit& time) override
            {
                ++stops;
                AddConstantPass::stop(time);
            }
            int starts = 0, stops = 0;
        };

        // Records the callbacks as text.
        class Recorder : public RenderPassChainListener
        {
        public:
            void renderPassInserted(RenderPass& pass) override { calls += "+" + pass.getName() + " "; }
            void renderPassRemoved(RenderPass& pass) override { calls += "-" + pass.getName() + " "; }
            void renderPassMoved() override { calls += "moved "; }
            void allRenderPassesRemoved() override { calls += "cleared "; }
            std::string calls;
        };

        class ChainTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                RenderPassManager::setCurrent(&manager);
                for (auto [name, func] : {std::pair{AddConstantPass::classType(), &AddConstantPass::creationFunc},
                                          std::pair{SolidColourPass::classType(), &SolidColourPass::creationFunc}})
                    manager.registerRenderPass(name, name, func, RenderPassCategoryEffect, 1, false, false);
                chain.addListener(recorder, false);
            }
            void TearDown() override
            {
                chain.removeListener(recorder);
                manager.clear();
                RenderPassManager::clearCurrent(&manager);
            }

            // Names in list order, joined by blanks.
            std::string order() const
            {
                std::string text;
                for (int i = 0; i < chain.getNumPasses(); ++i)
                    text += (i > 0 ? " " : "") + chain.getRenderPass(i)->getName();
                return text;
            }

            RenderPassChain::PassPtr add(const std::string& name)
            {
                return chain.addRenderPass(new LifecyclePass(name));
            }

            RenderPassManager manager;
            Recorder recorder;
            RenderPassChain chain;
        };

        TEST_F(ChainTest, InsertingAroundAReference)
        {
            auto p1 = add("P1");
            add("P2");
            auto p3 = add("P3");
            chain.insertBeforeRenderPass(p3, new LifecyclePass("P4"));
            EXPECT_EQ(order(), "P1 P2 P4 P3");
            chain.insertAfterRenderPass(p1, new LifecyclePass("P5"));
            EXPECT_EQ(order(), "P1 P5 P2 P4 P3");
            chain.insertAfterRenderPass(std::make_shared<LifecyclePass>("X"), new LifecyclePass("P6"));
            chain.insertBeforeRenderPass(nullptr, new LifecyclePass("P7"));
            EXPECT_EQ(order(), "P1 P5 P2 P4 P3 P6 P7") << "a reference not in the chain appends";
            chain.insertRenderPass(-5, new LifecyclePass("P0"), false);
            chain.insertRenderPass(1, new LifecyclePass("Q1"), true);
            EXPECT_EQ(order(), "P0 Q1 P5 P2 P4 P3 P6 P7") << "clamped index; replace drops P1";
            EXPECT_EQ(recorder.calls, "+P1 +P2 +P3 +P4 +P5 +P6 +P7 +P0 -P1 +Q1 ");
        }

        TEST_F(ChainTest, MovingAndSwapping)
        {
            add("P1");
            add("P2");
            add("P3");
            EXPECT_TRUE(chain.moveRenderPass(0, 99));
            EXPECT_EQ(order(), "P2 P3 P1");
            EXPECT_FALSE(chain.moveRenderPass(3, 0));
            EXPECT_FALSE(chain.moveRenderPass(0, -1));

            RenderPassChain other;
            other.addRenderPass(new LifecyclePass("Q1"));
            EXPECT_TRUE(chain.moveRenderPassToOtherChain(other, 0, 0));
            EXPECT_EQ(order(), "P3 P1");
            EXPECT_EQ(other.getRenderPass(0)->getName(), "P2");

            EXPECT_TRUE(chain.swapRenderPassBetweenChains(other, 1, 1));
            EXPECT_EQ(order(), "P3 Q1");
            EXPECT_EQ(other.getRenderPass(1)->getName(), "P1");
            EXPECT_TRUE(chain.swapRenderPassBetweenChains(chain, 0, 1));
            EXPECT_EQ(order(), "Q1 P3");
        }

        TEST_F(ChainTest, ChainsDoNotNest)
        {
            chain.addRenderPass(new RenderPassChain());
            chain.insertRenderPass(0, std::make_shared<RenderPassChain>(), false);
            chain.addRenderPass(RenderPassChain::PassPtr());
            EXPECT_EQ(chain.getNumPasses(), 0);
            EXPECT_EQ(recorder.calls, "");
        }

        TEST_F(ChainTest, PassesOfOneNameGetDistinctPaths)
        {
            chain.setName("Source Chain", true);
            auto first = add("Blur");
            auto second = add("Blur");
            auto other = add("Glow");
            EXPECT_EQ(first->getPath(), "/sourcechain/blur");
            EXPECT_EQ(second->getPath(), "/sourcechain/blur2");
            EXPECT_EQ(other->getPath(), "/sourcechain/glow");
            EXPECT_EQ(second->getParams().getPath(), second->getPath()) << "its parameters follow";
            chain.removeRenderPass(first);
            EXPECT_EQ(second->getPath(), "/sourcechain/blur");
        }

        TEST_F(ChainTest, RunningChainsStartAndStopTheirPasses)
        {
            auto before = std::static_pointer_cast<LifecyclePass>(add("P1"));
            chain.start(false, TimeUnit());
            EXPECT_EQ(before->starts, 1);
            auto during = std::static_pointer_cast<LifecyclePass>(add("P2"));
            EXPECT_EQ(during->starts, 1) << "started on insertion";
            chain.removeRenderPass(before);
            EXPECT_EQ(before->stops, 1) << "stopped on removal";
            chain.stop(TimeUnit());
            EXPECT_EQ(during->stops, 1);
            EXPECT_FALSE(chain.isRunning());
            add("P3");
            EXPECT_EQ(std::static_pointer_cast<LifecyclePass>(chain.getLastRenderPass())->starts, 0);
        }

        TEST_F(ChainTest, ABypassedTransformStillEndsTheFirstPart)
        {
            add("P1");
            auto transform = std::make_shared<TransformEffect>();
            chain.addRenderPass(transform);
            add("P2");
            EXPECT_EQ(chain.findFirstTransform(), transform);
            std::dynamic_pointer_cast<Param<bool>>(transform->getParams().getParamByName("bypassed"))
                ->setValue(true, ValueChangeInfo());
            std::vector<RenderPass*> first, second;
            chain.splitRenderPasses(first, second);
            EXPECT_EQ(first, std::vector<RenderPass*>{chain.getRenderPass(0).get()});
            EXPECT_EQ(second, std::vector<RenderPass*>{chain.getRenderPass(2).get()});
        }

        TEST_F(ChainTest, HeadPassesStayFirstWhateverTheEditsDo)
        {
            add("E1");
            add("E2");
            const RenderPassChain::PassPtr convert(new LifecyclePass("Convert"));
            const RenderPassChain::PassPtr deinterlace(new LifecyclePass("Deinterlace"));
            chain.setHeadPasses({convert, nullptr, deinterlace});
            EXPECT_EQ(order(), "Convert Deinterlace E1 E2");
            recorder.calls.clear();
            chain.setHeadPasses({convert, deinterlace});
            EXPECT_EQ(recorder.calls, "") << "held already: nothing to do";

            chain.insertRenderPass(0, new LifecyclePass("E0"), false);
            EXPECT_EQ(order(), "Convert Deinterlace E0 E1 E2");
            chain.moveRenderPass(4, 0);
            EXPECT_EQ(order(), "Convert Deinterlace E2 E0 E1");
            chain.moveRenderPass(0, 3);
            EXPECT_EQ(order(), "Convert Deinterlace E2 E0 E1");
            chain.swapRenderPassBetweenChains(chain, 1, 4);
            EXPECT_EQ(order(), "Convert Deinterlace E1 E2 E0");
            // Replaced by an edit, a head pass is gone until its owner puts
            // it back.
            chain.insertRenderPass(1, new LifecyclePass("E3"), true);
            EXPECT_EQ(order(), "Convert E3 E1 E2 E0");
            chain.setHeadPasses({convert, deinterlace});
            EXPECT_EQ(order(), "Convert Deinterlace E3 E1 E2 E0");

            // Held in the order given, whatever the order before.
            chain.setHeadPasses({deinterlace, convert});
            EXPECT_EQ(order(), "Deinterlace Convert E3 E1 E2 E0");
            // Removed, a pass is no longer held: put back, it goes where moved.
            chain.removeRenderPass(deinterlace);
            chain.addRenderPass(deinterlace);
            EXPECT_EQ(order(), "Convert E3 E1 E2 E0 Deinterlace");
            chain.moveRenderPass(5, 1);
            EXPECT_EQ(order(), "Convert Deinterlace E3 E1 E2 E0");
            chain.removeAllPasses();
            chain.addRenderPass(convert);
            add("E4");
            chain.moveRenderPass(1, 0);
            EXPECT_EQ(order(), "E4 Convert") << "emptied, the chain holds nothing first";
        }

        // ---- XML.

        std::string text(XmlCapable& object)
        {
            return XmlUtils::writeXmlToString(object, true);
        }

        TEST_F(ChainTest, XmlRoundTripsByteForByte)
        {
            for (double amount : {0.2, 0.7, 0.4})
            {
                auto* pass = new AddConstantPass(amount);
                pass->setStorage(XmlCapable::storageCreatable);
                chain.addRenderPass(pass);
            }
            auto* generator = new SolidColourPass();
            generator->setStorage(XmlCapable::storageCreatable);
            generator->getView().setFoldState(true);
            chain.addRenderPass(generator);
            const std::string written = text(chain);

            const auto document = XmlUtils::loadXmlFromString(written, true);
            ASSERT_NE(document, nullptr);
            RenderPassChain copy;
            copy.readState(document->first_node("RenderPass"), false);
            ASSERT_EQ(copy.getNumPasses(), 4);
            EXPECT_DOUBLE_EQ(static_cast<AddConstantPass&>(*copy.getRenderPass(1)).amount->getValue(), 0.7);
            EXPECT_EQ(text(copy), written);
        }

        TEST_F(ChainTest, PassesSharingAnIdKeepTheirOwnElements)
        {
            auto a = std::make_shared<AddConstantPass>(0.2);
            auto b = std::make_shared<AddConstantPass>(0.7);
            chain.addRenderPass(a);
            chain.addRenderPass(b);
            const auto document = XmlUtils::loadXmlFromString(text(chain), true);
            a->amount->setValue(0.0, ValueChangeInfo());
            b->amount->setValue(0.0, ValueChangeInfo());
            chain.readState(document->first_node("RenderPass"), false);
            EXPECT_DOUBLE_EQ(a->amount->getValue(), 0.2);
            EXPECT_DOUBLE_EQ(b->amount->getValue(), 0.7);
        }

        TEST_F(ChainTest, ElementsMoveTheirPassesAndOnlyCreatableOnesAreMade)
        {
            add("P1");
            add("P2");
            XmlPool pool;
            XmlNode* element = chain.writeState(pool, true);
            // Swap the positions the two elements ask for.
            XmlNode* first = element->first_node("RenderPass");
            XmlNode* second = first->next_sibling("RenderPass");
            first->first_attribute("index")->value("1");
            second->first_attribute("index")->value("0");
            // An element for a pass the chain lacks: skipped by default...
            XmlNode* foreign = XmlCapable::createNode(pool, "RenderPass");
            foreign->append_attribute(createAttribute(pool, "type", AddConstantPass::classType()));
            foreign->append_attribute(createAttribute(pool, "uniqueId", "Elsewhere"));
            element->append_node(foreign);
            // ...and one without an id is never considered.
            XmlNode* anonymous = XmlCapable::createNode(pool, "RenderPass");
            anonymous->append_attribute(createAttribute(pool, "type", AddConstantPass::classType()));
            anonymous->append_attribute(createAttribute(pool, "storage", 0));
            element->append_node(anonymous);

            recorder.calls.clear();
            chain.readState(element, false);
            EXPECT_EQ(order(), "P2 P1");
            EXPECT_EQ(recorder.calls, "moved ");

            foreign->append_attribute(createAttribute(pool, "storage", 0));
            chain.readState(element, false);
            EXPECT_EQ(chain.getNumPasses(), 3);
            EXPECT_EQ(chain.getLastRenderPass()->getClassType(), AddConstantPass::classType());
        }

        TEST_F(ChainTest, RestoredPassesKeepTheirWrittenOrderBehindTheHeadPasses)
        {
            // Written by a chain without the head pass and by one with it:
            // the same passes, indices counted one apart.
            const auto written = [&](bool withHead)
            {
                RenderPassChain other;
                if (withHead)
                    other.addRenderPass(new LifecyclePass("Convert"))->setStorage(XmlCapable::storageNever);
                for (const char* name : {"E2", "New", "E1", "E3"})
                {
                    RenderPassChain::PassPtr pass = other.addRenderPass(new LifecyclePass(name));
                    pass->setStorage(XmlCapable::storageCreatable);
                    static_cast<LifecyclePass&>(*pass).amount->setValue(withHead ? 0.5 : 0.25, ValueChangeInfo());
                }
                return text(other);
            };
            for (const bool withHead : {false, true})
            {
                SCOPED_TRACE(withHead ? "indices counting the head pass" : "indices without it");
                chain.removeAllPasses();
                const RenderPassChain::PassPtr convert(new LifecyclePass("Convert"));
                chain.setHeadPasses({convert});
                for (const char* name : {"E1", "E2", "E3"})
                    add(name);
                const auto document = XmlUtils::loadXmlFromString(written(withHead), true);
                ASSERT_NE(document, nullptr);
                chain.readState(document->first_node("RenderPass"), false);
                // The pass made from its element keeps the kind's own name.
                EXPECT_EQ(order(), "Convert E2 TestAddConstant E1 E3");
                EXPECT_DOUBLE_EQ(static_cast<LifecyclePass&>(*chain.getRenderPassByName("E1")).amount->getValue(),
                                 withHead ? 0.5 : 0.25);
            }
        }
    }
}
