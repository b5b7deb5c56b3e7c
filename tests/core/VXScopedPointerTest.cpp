#include "core/VXScopedPointer.h"

#include <gtest/gtest.h>

namespace
{
    // Counts destructions into a caller's counter.
    struct Counted
    {
        explicit Counted(int& counter) : deaths(&counter) {}
        ~Counted() { ++*deaths; }
        int* deaths;
    };

    TEST(ScopedPointer, DeletesOnDestructionAndOnReset)
    {
        int deaths = 0;
        {
            vx::ScopedPointer<Counted> pointer(new Counted(deaths));
            EXPECT_TRUE(pointer);
            pointer.reset(new Counted(deaths));
            EXPECT_EQ(1, deaths);
        }
        EXPECT_EQ(2, deaths);
    }

    TEST(ScopedPointer, ResetWithTheOwnedObjectKeepsIt)
    {
        int deaths = 0;
        vx::ScopedPointer<Counted> pointer(new Counted(deaths));
        Counted* same = pointer.get();
        pointer.reset(same);
        EXPECT_EQ(0, deaths);
        EXPECT_EQ(same, pointer.get());
        pointer.reset();
        EXPECT_EQ(1, deaths);
        EXPECT_FALSE(pointer);
    }

    struct Element
    {
        ~Element() { ++deaths; }
        static inline int deaths = 0;
    };

    TEST(ScopedArrayPointer, DeletesTheWholeArray)
    {
        Element::deaths = 0;
        {
            vx::ScopedArrayPointer<Element> array(new Element[3]);
            array.reset(new Element[2]);
            EXPECT_EQ(3, Element::deaths);
        }
        EXPECT_EQ(5, Element::deaths);
    }
}
