#include "core/parameters/VXExtension.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "core/parameters/VXExtensionInstance.h"
#include "core/xml/VXXmlUtils.h"

namespace
{
    using namespace vx;

    class BlurKind : public Extension
    {
    public:
        BlurKind() : Extension(true) {}
        std::string getExtensionDescription() const override { return "Blurs the picture"; }
        std::string getExtensionName() const override { return "Blur"; }
        std::string getExtensionUniqueId() const override { return "VXBL"; }
    };

    class BlurInstance : public ExtensionInstance
    {
    public:
        explicit BlurInstance(Extension* kind_) : ExtensionInstance("Blur"), kind(kind_) {}

        Extension* getExtension() override { return kind; }

        XmlNode* writeStateDerived(XmlPool& pool, bool) override
        {
            XmlNode* element = createElement(pool);
            element->append_attribute(createAttribute(pool, "radius", radius));
            return element;
        }

        void readStateDerived(const XmlNode& node) override { readAttribute(node.first_attribute("radius"), &radius); }

        Extension* kind;
        double radius = 1.0;
    };

    class PresetCounter : public ExtensionListener
    {
    public:
        void presetsChanged() override { ++calls; }
        int calls = 0;
    };

    class ExtensionTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            kind.addListener(syncListener, false);
            kind.addListener(asyncListener, true);
        }

        void TearDown() override
        {
            kind.removeListener(syncListener);
            kind.removeListener(asyncListener);
        }

        BlurKind kind;
        PresetCounter syncListener, asyncListener;
    };

    TEST_F(ExtensionTest, DefaultPresetIsTakenFromAnInstance)
    {
        BlurInstance instance(&kind);
        kind.getPresets()->addState(new XmlState(nullptr, "user"));
        syncListener.calls = asyncListener.calls = 0;

        kind.setDefaultStateFromInstance(instance);
        instance.radius = 4.0;
        kind.setDefaultStateFromInstance(instance);

        std::shared_ptr<XmlStates> presets = kind.getPresets();
        ASSERT_EQ(presets->getNumStates(), 2);
        EXPECT_EQ(presets->getState(0)->getName(), "default");
        EXPECT_EQ(presets->getXmlCapable(), nullptr);
        EXPECT_EQ(XmlUtils::nodeToString(*presets->getDefaultState()->getNode()),
                  "<Blur name=\"Blur\" radius=\"4\"/>\n");
        EXPECT_FALSE(presets->toDefault("")) << "the store has no target of its own";
        EXPECT_EQ(syncListener.calls, 3 + 1);
    }

    TEST_F(ExtensionTest, StoreChangesReachEveryListenerOnce)
    {
        BlurInstance instance(&kind);
        std::shared_ptr<XmlStates> presets = kind.getPresets();
        presets->setXmlCapable(&instance);
        presets->pushState("soft", "");
        EXPECT_EQ(syncListener.calls, 1);
        EXPECT_EQ(asyncListener.calls, 1) << "delivered at once by the default deferral";

        presets->removeStateByName("soft", true);
        EXPECT_EQ(syncListener.calls, 2);
        presets->setXmlCapable(nullptr);
    }

    TEST_F(ExtensionTest, LoadPresetNeedsNameAndContent)
    {
        auto document = XmlUtils::loadXmlFromString("<Presets><Preset name=\"wide\"><Blur radius=\"9\"/></Preset>"
                                                    "<Preset><Blur/></Preset><Preset name=\"bare\"/></Presets>",
                                                    false);
        const XmlNode* first = document->first_node()->first_node();
        const int id = kind.loadPreset(first);
        EXPECT_NE(id, -1);
        EXPECT_EQ(kind.loadPreset(first->next_sibling()), -1);
        EXPECT_EQ(kind.loadPreset(first->next_sibling()->next_sibling()), -1);
        EXPECT_EQ(kind.loadPreset(nullptr), -1);
        EXPECT_EQ(syncListener.calls, 0) << "loading is not announced";
        EXPECT_EQ(kind.getPresets()->getStateById(id)->getName(), "wide");
    }

    TEST_F(ExtensionTest, LinkedPresetIsKeptByIdAndNeverDangles)
    {
        auto document = XmlUtils::loadXmlFromString("<Preset name=\"wide\"><Blur radius=\"9\"/></Preset>", false);
        const int id = kind.loadPreset(document->first_node());
        XmlState* preset = kind.getPresets()->getStateById(id);

        BlurInstance instance(&kind);
        EXPECT_EQ(instance.getPresetID(), -1);
        instance.linkPreset(preset, false);
        EXPECT_EQ(instance.radius, 1.0);
        EXPECT_EQ(instance.getPresetID(), id);

        instance.linkPreset(preset, true);
        EXPECT_EQ(instance.radius, 9.0);

        kind.getPresets()->removeStateById(id, true);
        EXPECT_EQ(instance.getPresetID(), -1) << "the preset is gone";

        instance.linkPreset(nullptr, true);
        EXPECT_EQ(instance.getPresetID(), -1);
        BlurInstance orphan(nullptr);
        orphan.linkPreset(kind.getPresets()->getState(0), false);
        EXPECT_EQ(orphan.getPresetID(), -1);
    }

    TEST_F(ExtensionTest, SetPresetsInstallsTheGivenStore)
    {
        std::shared_ptr<XmlStates> previous = kind.getPresets();
        auto replacement = std::make_shared<XmlStates>(nullptr, 4096, true);
        kind.setPresets(replacement);
        EXPECT_EQ(kind.getPresets(), replacement);
        EXPECT_EQ(syncListener.calls, 1);

        replacement->addState(new XmlState(nullptr, "new"));
        previous->addState(new XmlState(nullptr, "old"));
        EXPECT_EQ(syncListener.calls, 2) << "only the installed store is followed";

        kind.setPresets(nullptr);
        EXPECT_EQ(kind.getPresets(), replacement);
    }

    TEST(ExtensionLifetime, StoreOutlivingItsExtensionForgetsIt)
    {
        std::shared_ptr<XmlStates> presets;
        {
            BlurKind kind;
            presets = kind.getPresets();
        }
        presets->addState(new XmlState(nullptr, "after"));
        EXPECT_EQ(presets->getNumStates(), 1);
    }
}
