// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COLOURTRANSFORM_H
#define COLOURTRANSFORM_H

#include <QByteArray>
#include <QImage>

#include <memory>

// Turns pictures in sRGB, as the loader delivers them, into the colours of a monitor described
// by its ICC profile, through LittleCMS. The profile comes from whoever may set a property of
// the X server, so it is taken for untrusted: one that LittleCMS does not parse, or that is no
// RGB display or output profile, gives no transform. One transform is made per profile and
// shared; a transform is safe on any thread.
class ColourTransform
{
public:
    ColourTransform(const ColourTransform &) = delete;
    ColourTransform &operator=(const ColourTransform &) = delete;
    ~ColourTransform();

    // The transform to the monitor of profile; null when profile is empty or unusable.
    static std::shared_ptr<const ColourTransform> forProfile(const QByteArray &profile);

    // What the pane, the grid and the slideshow draw in: the transform to the profile of the
    // monitor the window is on, null when colours are drawn as they are (no profile, or colour
    // management turned off). Safe on any thread.
    static std::shared_ptr<const ColourTransform> monitor();
    static void setMonitor(const QByteArray &profile);

    // image, in sRGB, in the monitor's colours: 32 bits a pixel, with its alpha, its size and
    // its device pixel ratio kept.
    QImage apply(const QImage &image) const;

    // Tells transforms apart, and none (0) from all: a picture drawn through one is drawn again
    // when the monitor's is another.
    static quint64 idOf(const std::shared_ptr<const ColourTransform> &transform)
    {
        return transform ? transform->id : 0;
    }

private:
    ColourTransform() = default;

    quint64 id = 0;
    void *opaque = nullptr;
    void *premultiplied = nullptr;
};

#endif
