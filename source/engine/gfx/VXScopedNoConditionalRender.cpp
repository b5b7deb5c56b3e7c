#include "engine/gfx/VXScopedNoConditionalRender.h"

#include <epoxy/gl.h>

#include <initializer_list>

namespace vx
{
    namespace
    {
        bool isCounting(GLenum target)
        {
            GLint query = 0;
            glGetQueryiv(target, GL_CURRENT_QUERY, &query);
            return query != 0;
        }

        // A query that counted no sample, made while a samples target is free
        // (the caller may be counting on one); 0 when none is.
        GLuint makeDiscardingQuery()
        {
            for (const GLenum target : {GL_SAMPLES_PASSED, GL_ANY_SAMPLES_PASSED})
            {
                if (target == GL_ANY_SAMPLES_PASSED && epoxy_gl_version() < 33)
                    break;
                if (isCounting(target))
                    continue;
                GLuint query = 0;
                glGenQueries(1, &query);
                glBeginQuery(target, query);
                glEndQuery(target);
                return query;
            }
            return 0;
        }
    }

    void ScopedNoConditionalRender::Queries::release()
    {
        for (unsigned int* query : {&probe, &discarding})
            if (*query != 0)
            {
                glDeleteQueries(1, query);
                *query = 0;
            }
    }

    ScopedNoConditionalRender::ScopedNoConditionalRender(Queries& queriesToUse) : queries(queriesToUse)
    {
        if (epoxy_gl_version() < 30 || isCounting(GL_PRIMITIVES_GENERATED))
            return;
        if (queries.probe == 0)
            glGenQueries(1, &queries.probe);

        const bool discarding = glIsEnabled(GL_RASTERIZER_DISCARD) == GL_TRUE;
        if (! discarding)
            glEnable(GL_RASTERIZER_DISCARD);
        glBeginQuery(GL_PRIMITIVES_GENERATED, queries.probe);
        glBegin(GL_POINTS);
        glVertex2f(0.0f, 0.0f);
        glEnd();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        if (! discarding)
            glDisable(GL_RASTERIZER_DISCARD);

        GLuint generated = 1;
        glGetQueryObjectuiv(queries.probe, GL_QUERY_RESULT, &generated);
        if (generated != 0)
            return;
        glEndConditionalRender();
        suspended = true;
    }

    ScopedNoConditionalRender::~ScopedNoConditionalRender()
    {
        if (! suspended)
            return;
        if (queries.discarding == 0)
            queries.discarding = makeDiscardingQuery();
        if (queries.discarding != 0)
            glBeginConditionalRender(queries.discarding, GL_QUERY_WAIT);
    }
}
