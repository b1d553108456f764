#pragma once

class QColor;

// The contrast ratio of two colours as the WCAG define it, from 1 : 1 (the
// same luminance) to 21 : 1 (black on white); text reads at 4.5 : 1 and more.
double contrastRatio(const QColor &a, const QColor &b);
