// The built-in pass classes and how they are offered: category 0 holds the
// framework classes, made again from stored XML by type name but never
// offered in a choice (100 inputs); the rest are the blend mixers, the
// effects (those a dry/wet wrapper may wrap marked) and the generators.
// Hidden kinds are left out of the lists but stay creatable by name.

#include "engine/renderpasses/VXAlphaMixer.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXFFGLEffect.h"
#include "engine/renderpasses/VXFFGLGenerator.h"
#include "engine/renderpasses/VXFFGLMixer.h"
#include "engine/renderpasses/VXFreeTransform.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXShaderToyEffect.h"
#include "engine/renderpasses/VXShaderToyMixer.h"
#include "engine/renderpasses/VXTransformEffect.h"
#include "engine/renderpasses/catalogue/VXAdd.h"
#include "engine/renderpasses/catalogue/VXAdd50.h"
#include "engine/renderpasses/catalogue/VXAddSubtract.h"
#include "engine/renderpasses/catalogue/VXBlank.h"
#include "engine/renderpasses/catalogue/VXBlow.h"
#include "engine/renderpasses/catalogue/VXBlur.h"
#include "engine/renderpasses/catalogue/VXBrightnessContrast.h"
#include "engine/renderpasses/catalogue/VXBurn.h"
#include "engine/renderpasses/catalogue/VXCheckerBoard.h"
#include "engine/renderpasses/catalogue/VXDarken.h"
#include "engine/renderpasses/catalogue/VXDeinterlace.h"
#include "engine/renderpasses/catalogue/VXDifference.h"
#include "engine/renderpasses/catalogue/VXDifferenceI.h"
#include "engine/renderpasses/catalogue/VXDodge.h"
#include "engine/renderpasses/catalogue/VXEdgeDetect.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/renderpasses/catalogue/VXGradient.h"
#include "engine/renderpasses/catalogue/VXLighten.h"
#include "engine/renderpasses/catalogue/VXMask.h"
#include "engine/renderpasses/catalogue/VXMotionBlur.h"
#include "engine/renderpasses/catalogue/VXMovingBar.h"
#include "engine/renderpasses/catalogue/VXMultiply.h"
#include "engine/renderpasses/catalogue/VXPremultiply.h"
#include "engine/renderpasses/catalogue/VXRGBASwitch.h"
#include "engine/renderpasses/catalogue/VXShiftRGB.h"
#include "engine/renderpasses/catalogue/VXSoftLight.h"
#include "engine/renderpasses/catalogue/VXSolidColor.h"
#include "engine/renderpasses/catalogue/VXSolidColorEffect.h"
#include "engine/renderpasses/catalogue/VXTestScreen.h"
#include "engine/renderpasses/catalogue/VXToLuminosity.h"
#include "engine/renderpasses/catalogue/VXUVMap.h"

namespace vx
{
    bool RenderPassManager::registerInternalRenderPasses()
    {
        constexpr RenderPassCategory framework = RenderPassCategoryAny;
        constexpr RenderPassCategory effect = RenderPassCategoryEffect;
        constexpr RenderPassCategory mixer = RenderPassCategoryMixer;
        constexpr RenderPassCategory generator = RenderPassCategoryGenerator;
        constexpr int anyInputs = 100;
        constexpr bool wrappable = true, bare = false;
        constexpr bool hidden = true, shown = false;

        registerRenderPass<RenderPassChain>(framework, anyInputs, bare, shown);
        registerRenderPass<DryWetEffect>(framework, anyInputs, bare, shown);
        registerRenderPass<FFGLEffect>(framework, anyInputs, bare, shown);
        registerRenderPass<FFGLMixer>(framework, anyInputs, bare, shown);
        registerRenderPass<FFGLGenerator>(framework, anyInputs, bare, shown);

        registerRenderPass<Add>(mixer, 2, bare, shown);
        registerRenderPass<Add50>(mixer, 2, bare, shown);
        registerRenderPass<Burn>(mixer, 2, bare, shown);
        registerRenderPass<Darken>(mixer, 2, bare, shown);
        registerRenderPass<Difference>(mixer, 2, bare, shown);
        registerRenderPass<DifferenceI>(mixer, 2, bare, shown);
        registerRenderPass<Dodge>(mixer, 2, bare, shown);
        registerRenderPass<Lighten>(mixer, 2, bare, shown);
        registerRenderPass<Multiply>(mixer, 2, bare, shown);
        registerRenderPass<SoftLight>(mixer, 2, bare, shown);
        registerRenderPass<AlphaMixer>(mixer, 2, bare, shown);
        registerRenderPass<ShaderToyMixer>(mixer, 2, bare, shown);

        registerRenderPass<AddSubtract>(effect, 1, wrappable, shown);
        registerRenderPass<BrightnessContrast>(effect, 1, wrappable, shown);
        registerRenderPass<Blow>(effect, 1, wrappable, shown);
        registerRenderPass<TransformEffect>(effect, 1, wrappable, shown);
        registerRenderPass<FreeTransform>(effect, 1, wrappable, shown);
        registerRenderPass<ShiftRGB>(effect, 1, wrappable, shown);
        registerRenderPass<Deinterlace>(effect, 1, bare, hidden);
        registerRenderPass<Premultiply>(effect, 1, bare, hidden);
        registerRenderPass<FormatConversion>(effect, 1, bare, hidden);
        registerRenderPass<RGBASwitch>(effect, 1, bare, hidden);
        registerRenderPass<Blur>(effect, 1, bare, hidden);
        registerRenderPass<MotionBlur>(effect, 1, wrappable, shown);
        registerRenderPass<UVMap>(effect, 1, wrappable, hidden);
        registerRenderPass<EdgeDetect>(effect, 1, bare, hidden);
        registerRenderPass<SolidColorEffect>(effect, 1, wrappable, shown);
        registerRenderPass<ShaderToyEffect>(effect, 1, wrappable, shown);
        registerRenderPass<ToLuminosity>(effect, 1, bare, hidden);
        registerRenderPass<Mask>(effect, 1, wrappable, shown);

        registerRenderPass<Blank>(generator, 0, bare, shown);
        registerRenderPass<SolidColor>(generator, 0, bare, shown);
        registerRenderPass<Gradient>(generator, 0, bare, shown);
        registerRenderPass<CheckerBoard>(generator, 0, bare, hidden);
        registerRenderPass<MovingBar>(generator, 0, bare, shown);
        return registerRenderPass<TestScreen>(generator, 0, bare, hidden);
    }
}
