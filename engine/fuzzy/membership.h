// Membership function shapes of the fuzzy engine, with the parameter counts
// and parameter checks of each type.
#pragma once

#include <string>
#include <vector>

#include "fuzzy/fis_model.h"

namespace orvel::fuzzy {

enum class MfType {
    Triangle,     // trimf a b c
    Trapezoid,    // trapmf a b c d
    Gaussian,     // gaussmf sigma c
    Gaussian2,    // gauss2mf sigma1 c1 sigma2 c2
    Sigmoid,      // sigmf a c
    DiffSigmoid,  // dsigmf a1 c1 a2 c2
    ProdSigmoid,  // psigmf a1 c1 a2 c2
    Bell,         // gbellmf a b c
    Pi,           // pimf a b c d
    Linear,       // Sugeno output: p1..pn p0
    Constant,     // Sugeno output: p0
};

// The type of a name, false for an unknown name.
bool mfTypeOf(const std::string& name, MfType& type);
bool isShapeType(MfType type);  // every type but Linear and Constant
// Parameters a type needs; -1 for Linear (inputs + 1).
int mfParamCount(MfType type);
// The type's own parameter checks; false after logging the problem.
bool checkMfParams(MfType type, const std::vector<double>& p, const FisLog& log);
// Value of a shape at x (Linear and Constant are not shapes: 0).
double mfValue(MfType type, const double* p, double x);

inline constexpr const char* kLegalShapeTypes =
    "trimf, trapmf, gaussmf, gauss2mf, sigmf, dsigmf, psigmf, gbellmf, pimf";

}  // namespace orvel::fuzzy
