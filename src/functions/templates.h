// Formula template texts of the function layer, kept together in one table.
// Each is run through eval_group; the note says which work registers it reads
// or overwrites.
#pragma once

enum TemplateId {
    // Dispatcher and block statistics.
    TPL_TAN,
    TPL_ROUND_HALF,
    TPL_SQ_DEV,
    TPL_SQ_DEV_PAIRED,
    TPL_CROSS_DEV,
    TPL_COR_SQUARE,
    // Exponential, logarithm, roots, pi, arctangent, sine and cosine.
    TPL_QUT_E,
    TPL_PI_QUARTER,
    TPL_DEGREES,
    TPL_QUARTER_TURN,
    TPL_QUT_B,
    TPL_SQRT2_HALF,
    TPL_SQRT3_HALF,
    TEMPLATE_COUNT
};

struct FormulaTemplate {
    TemplateId id;
    const char *text;
};

constexpr FormulaTemplate TEMPLATES[] = {
    // Tangent as sine over cosine of the argument stored in element &E3; the
    // two P are replaced by the unit letter. The inner SIN and COS overwrite
    // &B..&E and their elements (&E3 itself is stored before the run).
    {TPL_TAN, "SINP(&E3)/COSP(&E3)"},
    // Rounding: add one half to the target in place. No registers.
    {TPL_ROUND_HALF, "&F+.5"},
    // Squared deviation of the cell in &E from the mean in &B. Reads &B, &E.
    {TPL_SQ_DEV, "(&E-&B)^2"},
    // Squared deviation of the paired cell in &D from its mean in &C. Reads
    // &C, &D.
    {TPL_SQ_DEV_PAIRED, "(&D-&C)^2"},
    // Product of the two deviations. Reads &B, &C, &D, &E.
    {TPL_CROSS_DEV, "(&E-&B)*(&D-&C)"},
    // Square of the correlation: covariance sum in &C squared over the
    // product of the two sums of squares in &D. Reads &C, &D.
    {TPL_COR_SQUARE, "&C^2/&D"},
    // Logarithm: the repeating-decimal step on the result in &E.
    {TPL_QUT_E, "QUT(&E)"},
    // Arctangent of 1: the cached pi over 4.
    {TPL_PI_QUARTER, "PI/4"},
    // Sine and cosine: the angle in half-turns from &B (degrees), a quarter
    // turn added for the cosine, then the repeating-decimal step; the
    // special angles.
    {TPL_DEGREES, "&B/180"},
    {TPL_QUARTER_TURN, "&F+0.5"},
    {TPL_QUT_B, "QUT(&B)"},
    {TPL_SQRT2_HALF, "SQR2/2"},
    {TPL_SQRT3_HALF, "SQR3/2"},
};

// True when row i of the table is template i and every template has a row.
constexpr bool templates_in_order() {
    int count = int(sizeof TEMPLATES / sizeof TEMPLATES[0]);
    for (int i = 0; i < count; i++)
        if (TEMPLATES[i].id != i) return false;
    return count == TEMPLATE_COUNT;
}
static_assert(templates_in_order(), "the template table follows TemplateId");

// The text of template `id`.
constexpr const char *template_text(TemplateId id) { return TEMPLATES[id].text; }
