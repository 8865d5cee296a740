#include "fuzzy/membership.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace orvel::fuzzy {

namespace {

struct TypeName {
    const char* name;
    MfType type;
    int params;
};

constexpr std::array<TypeName, 11> kTypes = {{
    {"trimf", MfType::Triangle, 3},
    {"trapmf", MfType::Trapezoid, 4},
    {"gaussmf", MfType::Gaussian, 2},
    {"gauss2mf", MfType::Gaussian2, 4},
    {"sigmf", MfType::Sigmoid, 2},
    {"dsigmf", MfType::DiffSigmoid, 4},
    {"psigmf", MfType::ProdSigmoid, 4},
    {"gbellmf", MfType::Bell, 3},
    {"pimf", MfType::Pi, 4},
    {"linear", MfType::Linear, -1},
    {"constant", MfType::Constant, 1},
}};

double triangle(double x, double a, double b, double c) {
    if (a == b && b == c) {
        return x == a ? 1.0 : 0.0;
    }
    if (a == b) {
        return (b <= x && x <= c) ? (c - x) / (c - b) : 0.0;
    }
    if (b == c) {
        return (a <= x && x <= b) ? (x - a) / (b - a) : 0.0;
    }
    return std::max(std::min((x - a) / (b - a), (c - x) / (c - b)), 0.0);
}

double trapezoid(double x, double a, double b, double c, double d) {
    double rise = 0.0;
    if (x >= b) {
        rise = 1.0;
    } else if (x >= a && a != b) {
        rise = (x - a) / (b - a);
    }
    double fall = 0.0;
    if (x <= c) {
        fall = 1.0;
    } else if (x <= d && c != d) {
        fall = (d - x) / (d - c);
    }
    return std::min(rise, fall);
}

double gaussian(double x, double sigma, double c) {
    const double t = (x - c) / sigma;
    return std::exp(-t * t / 2.0);
}

double sigmoid(double x, double a, double c) {
    return 1.0 / (1.0 + std::exp(-a * (x - c)));
}

// S-shaped rise from a to b.
double sShape(double x, double a, double b) {
    if (a >= b) {
        return x >= (a + b) / 2.0 ? 1.0 : 0.0;
    }
    if (x <= a) {
        return 0.0;
    }
    if (x <= (a + b) / 2.0) {
        const double t = (x - a) / (b - a);
        return 2.0 * t * t;
    }
    if (x <= b) {
        const double t = (b - x) / (b - a);
        return 1.0 - 2.0 * t * t;
    }
    return 1.0;
}

// Z-shaped fall from a to b.
double zShape(double x, double a, double b) {
    if (a >= b) {
        return x <= (a + b) / 2.0 ? 1.0 : 0.0;
    }
    return 1.0 - sShape(x, a, b);
}

}  // namespace

bool mfTypeOf(const std::string& name, MfType& type) {
    for (const TypeName& t : kTypes) {
        if (name == t.name) {
            type = t.type;
            return true;
        }
    }
    return false;
}

bool isShapeType(MfType type) {
    return type != MfType::Linear && type != MfType::Constant;
}

int mfParamCount(MfType type) {
    for (const TypeName& t : kTypes) {
        if (t.type == type) {
            return t.params;
        }
    }
    return 0;
}

bool checkMfParams(MfType type, const std::vector<double>& p, const FisLog& log) {
    auto say = [&](const std::string& m) {
        if (log) {
            log(m);
        }
        return false;
    };
    switch (type) {
        case MfType::Triangle:
            if (p[0] > p[1]) {
                return say("Illegal parameters in fisTriangleMf() --> a > b");
            }
            if (p[1] > p[2]) {
                return say("Illegal parameters in fisTriangleMf() --> b > c");
            }
            return true;
        case MfType::Trapezoid: {
            const char* problem = p[0] > p[1]   ? "Illegal parameters in fisTrapezoidMf() --> a > b"
                                  : p[1] > p[2] ? "Illegal parameters in fisTrapezoidMf() --> b > c"
                                  : p[2] > p[3] ? "Illegal parameters in fisTrapezoidMf() --> c > d"
                                                : nullptr;
            if (problem == nullptr) {
                return true;
            }
            char values[200];
            std::snprintf(values, sizeof values, "a = %f, b = %f, c = %f, d = %f\n", p[0], p[1],
                          p[2], p[3]);
            say(values);
            return say(problem);
        }
        case MfType::Gaussian:
            if (p[0] == 0.0) {
                return say("Illegal parameters in fisGaussianMF() --> sigma = 0");
            }
            return true;
        case MfType::Gaussian2:
            if (p[0] == 0.0 || p[2] == 0.0) {
                return say("Illegal parameters in fisGaussian2MF() --> sigma1 or sigma2 is zero");
            }
            return true;
        case MfType::Bell:
            if (p[0] == 0.0) {
                return say("Illegal parameters in fisGeneralizedBellMf() --> a = 0");
            }
            return true;
        default:
            return true;
    }
}

double mfValue(MfType type, const double* p, double x) {
    switch (type) {
        case MfType::Triangle:
            return triangle(x, p[0], p[1], p[2]);
        case MfType::Trapezoid:
            return trapezoid(x, p[0], p[1], p[2], p[3]);
        case MfType::Gaussian:
            return gaussian(x, p[0], p[1]);
        case MfType::Gaussian2: {
            const double left = x <= p[1] ? gaussian(x, p[0], p[1]) : 1.0;
            const double right = x <= p[3] ? 1.0 : gaussian(x, p[2], p[3]);
            return left * right;
        }
        case MfType::Sigmoid:
            return sigmoid(x, p[0], p[1]);
        case MfType::DiffSigmoid:
            return std::fabs(sigmoid(x, p[0], p[1]) - sigmoid(x, p[2], p[3]));
        case MfType::ProdSigmoid:
            return sigmoid(x, p[0], p[1]) * sigmoid(x, p[2], p[3]);
        case MfType::Bell: {
            const double t = (x - p[2]) / p[0];
            const double sq = t * t;
            if (sq == 0.0 && p[1] == 0.0) {
                return 0.5;
            }
            if (sq == 0.0 && p[1] < 0.0) {
                return 0.0;
            }
            return 1.0 / (1.0 + std::pow(sq, p[1]));
        }
        case MfType::Pi:
            return sShape(x, p[0], p[1]) * zShape(x, p[2], p[3]);
        default:
            return 0.0;
    }
}

}  // namespace orvel::fuzzy
