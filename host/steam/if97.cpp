// IAPWS-IF97 steam tables: basic equations of regions 1, 2, 3, 5, the
// saturation-pressure equation, boundary equations and backward equations.
//
// The polynomial sums are evaluated from tables of integer powers built once
// per call (repeated multiplication), so a property evaluation costs a few
// hundred multiplications and no calls to pow().
#include "host/steam/if97.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "host/numeric/root.h"
#include "host/steam/if97_detail.h"

namespace r3::steam {
namespace {

struct Term {
  int I;
  int J;
  double n;
};

// ---------------------------------------------------------------------------
// Coefficient tables (exponents I, J and coefficients n of the IF97 equations)
// ---------------------------------------------------------------------------

// Region 1 Gibbs energy, gamma = sum n (7.1 - pi)^I (tau - 1.222)^J.
constexpr Term kR1[] = {
    {0, -2, 0.14632971213167},      {0, -1, -0.84548187169114},     {0, 0, -0.37563603672040e1},
    {0, 1, 0.33855169168385e1},     {0, 2, -0.95791963387872},      {0, 3, 0.15772038513228},
    {0, 4, -0.16616417199501e-1},   {0, 5, 0.81214629983568e-3},    {1, -9, 0.28319080123804e-3},
    {1, -7, -0.60706301565874e-3},  {1, -1, -0.18990068218419e-1},  {1, 0, -0.32529748770505e-1},
    {1, 1, -0.21841717175414e-1},   {1, 3, -0.52838357969930e-4},   {2, -3, -0.47184321073267e-3},
    {2, 0, -0.30001780793026e-3},   {2, 1, 0.47661393906987e-4},    {2, 3, -0.44141845330846e-5},
    {2, 17, -0.72694996297594e-15}, {3, -4, -0.31679644845054e-4},  {3, 0, -0.28270797985312e-5},
    {3, 6, -0.85205128120103e-9},   {4, -5, -0.22425281908000e-5},  {4, -2, -0.65171222895601e-6},
    {4, 10, -0.14341729937924e-12}, {5, -8, -0.40516996860117e-6},  {8, -11, -0.12734301741641e-8},
    {8, -6, -0.17424871230634e-9},  {21, -29, -0.68762131295531e-18}, {23, -31, 0.14478307828521e-19},
    {29, -38, 0.26335781662795e-22}, {30, -39, -0.11947622640071e-22}, {31, -40, 0.18228094581404e-23},
    {32, -41, -0.93537087292458e-25},
};

// Region 1 backward T(p, h): theta = sum n pi^I (eta + 1)^J.
constexpr Term kR1Tph[] = {
    {0, 0, -0.23872489924521e3},  {0, 1, 0.40421188637945e3},   {0, 2, 0.11349746881718e3},
    {0, 6, -0.58457616048039e1},  {0, 22, -0.15285482413140e-3}, {0, 32, -0.10866707695377e-5},
    {1, 0, -0.13391744872602e2},  {1, 1, 0.43211039183559e2},   {1, 2, -0.54010067170506e2},
    {1, 3, 0.30535892203916e2},   {1, 4, -0.65964749423638e1},  {1, 10, 0.93965400878363e-2},
    {1, 32, 0.11573647505340e-6}, {2, 10, -0.25858641282073e-4}, {2, 32, -0.40644363084799e-8},
    {3, 10, 0.66456186191635e-7}, {3, 32, 0.80670734103027e-10}, {4, 32, -0.93477771213947e-12},
    {5, 32, 0.58265442020601e-14}, {6, 32, -0.15020185953503e-16},
};

// Region 1 backward T(p, s): theta = sum n pi^I (sigma + 2)^J.
constexpr Term kR1Tps[] = {
    {0, 0, 0.17478268058307e3},   {0, 1, 0.34806930892873e2},   {0, 2, 0.65292584978455e1},
    {0, 3, 0.33039981775489},     {0, 11, -0.19281382923196e-6}, {0, 31, -0.24909197244573e-22},
    {1, 0, -0.26107636489332},    {1, 1, 0.22592965981586},     {1, 2, -0.64256463395226e-1},
    {1, 3, 0.78876289270526e-2},  {1, 12, 0.35672110607366e-9}, {1, 31, 0.17332496994895e-23},
    {2, 0, 0.56608900654837e-3},  {2, 1, -0.32635483139717e-3}, {2, 2, 0.44778286690632e-4},
    {2, 9, -0.51322156908507e-9}, {2, 31, -0.42522657042207e-25}, {3, 10, 0.26400441360689e-12},
    {3, 32, 0.78124600459723e-28}, {4, 32, -0.30732199903668e-30},
};

// Region 2 ideal-gas part: gamma0 = ln pi + sum n tau^J.
constexpr int kR2J0[] = {0, 1, -5, -4, -3, -2, -1, 2, 3};
constexpr double kR2n0[] = {-0.96927686500217e1, 0.10086655968018e2,  -0.56087911283020e-2,
                            0.71452738081455e-1, -0.40710498223928,   0.14240819171444e1,
                            -0.43839511319450e1, -0.28408632460772,   0.21268463753307e-1};
// The metastable-vapour equation uses the same ideal-gas part with two
// readjusted coefficients (n1, n2).
constexpr double kR2metaN01 = -0.96937268393049e1;
constexpr double kR2metaN02 = 0.10087275970006e2;

// Region 2 residual part: gammar = sum n pi^I (tau - 0.5)^J.
constexpr Term kR2r[] = {
    {1, 0, -0.17731742473213e-2},  {1, 1, -0.17834862292358e-1},  {1, 2, -0.45996013696365e-1},
    {1, 3, -0.57581259083432e-1},  {1, 6, -0.50325278727930e-1},  {2, 1, -0.33032641670203e-4},
    {2, 2, -0.18948987516315e-3},  {2, 4, -0.39392777243355e-2},  {2, 7, -0.43797295650573e-1},
    {2, 36, -0.26674547914087e-4}, {3, 0, 0.20481737692309e-7},   {3, 1, 0.43870667284435e-6},
    {3, 3, -0.32277677238570e-4},  {3, 6, -0.15033924542148e-2},  {3, 35, -0.40668253562649e-1},
    {4, 1, -0.78847309559367e-9},  {4, 2, 0.12790717852285e-7},   {4, 3, 0.48225372718507e-6},
    {5, 7, 0.22922076337661e-5},   {6, 3, -0.16714766451061e-10}, {6, 16, -0.21171472321355e-2},
    {6, 35, -0.23895741934104e2},  {7, 0, -0.59059564324270e-17}, {7, 11, -0.12621808899101e-5},
    {7, 25, -0.38946842435739e-1}, {8, 8, 0.11256211360459e-10},  {8, 36, -0.82311340897998e1},
    {9, 13, 0.19809712802088e-7},  {10, 4, 0.10406965210174e-18}, {10, 10, -0.10234747095929e-12},
    {10, 14, -0.10018179379511e-8}, {16, 29, -0.80882908646985e-10}, {16, 50, 0.10693031879409},
    {18, 57, -0.33662250574171},   {20, 20, 0.89185845355421e-24}, {20, 35, 0.30629316876232e-12},
    {20, 48, -0.42002467698208e-5}, {21, 21, -0.59056029685639e-25}, {22, 53, 0.37826947613457e-5},
    {23, 39, -0.12768608934681e-14}, {24, 26, 0.73087610595061e-28}, {24, 40, 0.55414715350778e-16},
    {24, 58, -0.94369707241210e-6},
};

// Metastable-vapour residual part: gammar = sum n pi^I (tau - 0.5)^J.
constexpr Term kR2meta[] = {
    {1, 0, -0.73362260186506e-2}, {1, 2, -0.88223831943146e-1}, {1, 5, -0.72334555213245e-1},
    {1, 11, -0.40813178534455e-2}, {2, 1, 0.20097803380207e-2}, {2, 7, -0.53045921898642e-1},
    {2, 16, -0.76190409086970e-2}, {3, 4, -0.63498037657313e-2}, {3, 16, -0.86043093028588e-1},
    {4, 7, 0.75321581522770e-2},  {4, 10, -0.79238375446139e-2}, {5, 9, -0.22888160778447e-3},
    {5, 10, -0.26456501482810e-2},
};

// Region 2 backward T(p, h), subregion 2a: theta = sum n pi^I (eta - 2.1)^J.
constexpr Term kR2aTph[] = {
    {0, 0, 0.10898952318288e4},   {0, 1, 0.84951654495535e3},   {0, 2, -0.10781748091826e3},
    {0, 3, 0.33153654801263e2},   {0, 7, -0.74232016790248e1},  {0, 20, 0.11765048724356e2},
    {1, 0, 0.18445749355790e1},   {1, 1, -0.41792700549624e1},  {1, 2, 0.62478196935812e1},
    {1, 3, -0.17344563108114e2},  {1, 7, -0.20058176862096e3},  {1, 9, 0.27196065473796e3},
    {1, 11, -0.45511318285818e3}, {1, 18, 0.30919688604755e4},  {1, 44, 0.25226640357872e6},
    {2, 0, -0.61707422868339e-2}, {2, 2, -0.31078046629583},    {2, 7, 0.11670873077107e2},
    {2, 36, 0.12812798404046e9},  {2, 38, -0.98554909623276e9}, {2, 40, 0.28224546973002e10},
    {2, 42, -0.35948971410703e10}, {2, 44, 0.17227349913197e10}, {3, 24, -0.13551334240775e5},
    {3, 44, 0.12848734664650e8},  {4, 12, 0.13865724283226e1},  {4, 32, 0.23598832556514e6},
    {4, 44, -0.13105236545054e8}, {5, 32, 0.73999835474766e4},  {5, 36, -0.55196697030060e6},
    {5, 42, 0.37154085996233e7},  {6, 34, 0.19127729239660e5},  {6, 44, -0.41535164835634e6},
    {7, 28, -0.62459855192507e2},
};

// Subregion 2b: theta = sum n (pi - 2)^I (eta - 2.6)^J.
constexpr Term kR2bTph[] = {
    {0, 0, 0.14895041079516e4},   {0, 1, 0.74307798314034e3},   {0, 2, -0.97708318797837e2},
    {0, 12, 0.24742464705674e1},  {0, 18, -0.63281320016026},   {0, 24, 0.11385952129658e1},
    {0, 28, -0.47811863648625},   {0, 40, 0.85208123431544e-2}, {1, 0, 0.93747147377932},
    {1, 2, 0.33593118604916e1},   {1, 6, 0.33809355601454e1},   {1, 12, 0.16844539671904},
    {1, 18, 0.73875745236695},    {1, 24, -0.47128737436186},   {1, 28, 0.15020273139707},
    {1, 40, -0.21764114219750e-2}, {2, 2, -0.21810755324761e-1}, {2, 8, -0.10829784403677},
    {2, 18, -0.46333324635812e-1}, {2, 40, 0.71280351959551e-4}, {3, 1, 0.11032831789999e-3},
    {3, 2, 0.18955248387902e-3},  {3, 12, 0.30891541160537e-2}, {3, 24, 0.13555504554949e-2},
    {4, 2, 0.28640237477456e-6},  {4, 12, -0.10779857357512e-4}, {4, 18, -0.76462712454814e-4},
    {4, 24, 0.14052392818316e-4}, {4, 28, -0.31083814331434e-4}, {4, 40, -0.10302738212103e-5},
    {5, 18, 0.28217281635040e-6}, {5, 24, 0.12704902271945e-5}, {5, 40, 0.73803353468292e-7},
    {6, 28, -0.11030139238909e-7}, {7, 2, -0.81456365207833e-13}, {7, 28, -0.25180545682962e-10},
    {9, 1, -0.17565233969407e-17}, {9, 40, 0.86934156344163e-14},
};

// Subregion 2c: theta = sum n (pi + 25)^I (eta - 1.8)^J.
constexpr Term kR2cTph[] = {
    {-7, 0, -0.32368398555242e13}, {-7, 4, 0.73263350902181e13}, {-6, 0, 0.35825089945447e12},
    {-6, 2, -0.58340131851590e12}, {-5, 0, -0.10783068217470e11}, {-5, 2, 0.20825544563171e11},
    {-2, 0, 0.61074783564516e6},   {-2, 1, 0.85977722535580e6},  {-1, 0, -0.25745723604170e5},
    {-1, 2, 0.31081088422714e5},   {0, 0, 0.12082315865936e4},   {0, 1, 0.48219755109255e3},
    {1, 4, 0.37966001272486e1},    {1, 8, -0.10842984880077e2},  {2, 4, -0.45364172676660e-1},
    {6, 0, 0.14559115658698e-12},  {6, 1, 0.11261597407230e-11}, {6, 4, -0.17804982240686e-10},
    {6, 10, 0.12324579690832e-6},  {6, 12, -0.11606921130984e-5}, {6, 16, 0.27846367088554e-4},
    {6, 20, -0.59270038474176e-3}, {6, 22, 0.12918582991878e-2},
};

// Region 2 backward T(p, s), subregion 2a: theta = sum n pi^I (sigma - 2)^J,
// with I a multiple of 1/4: the table holds 4 I.
constexpr Term kR2aTps[] = {
    {-6, -24, -0.39235983861984e6}, {-6, -23, 0.51526573827270e6},  {-6, -19, 0.40482443161048e5},
    {-6, -13, -0.32193790923902e3}, {-6, -11, 0.96961424218694e2},  {-6, -10, -0.22867846371773e2},
    {-5, -19, -0.44942914124357e6}, {-5, -15, -0.50118336020166e4}, {-5, -6, 0.35684463560015},
    {-4, -26, 0.44235335848190e5},  {-4, -21, -0.13673388811708e5}, {-4, -17, 0.42163260207864e6},
    {-4, -16, 0.22516925837475e5},  {-4, -9, 0.47442144865646e3},   {-4, -8, -0.14931130797647e3},
    {-3, -15, -0.19781126320452e6}, {-3, -14, -0.23554399470760e5}, {-2, -26, -0.19070616302076e5},
    {-2, -13, 0.55375669883164e5},  {-2, -9, 0.38293691437363e4},   {-2, -7, -0.60391860580567e3},
    {-1, -27, 0.19363102620331e4},  {-1, -25, 0.42660643698610e4},  {-1, -11, -0.59780638872718e4},
    {-1, -6, -0.70401463926862e3},  {1, 1, 0.33836784107553e3},     {1, 4, 0.20862786635187e2},
    {1, 8, 0.33834172656196e-1},    {1, 11, -0.43124428414893e-4},  {2, 0, 0.16653791356412e3},
    {2, 1, -0.13986292055898e3},    {2, 5, -0.78849547999872},      {2, 6, 0.72132411753872e-1},
    {2, 10, -0.59754839398283e-2},  {2, 14, -0.12141358953904e-4},  {2, 16, 0.23227096733871e-6},
    {3, 0, -0.10538463566194e2},    {3, 4, 0.20718925496502e1},     {3, 9, -0.72193155260427e-1},
    {3, 17, 0.20749887081120e-6},   {4, 7, -0.18340657911379e-1},   {4, 18, 0.29036272348696e-6},
    {5, 3, 0.21037527893619},       {5, 15, 0.25681239729999e-3},   {6, 5, -0.12799002933781e-1},
    {6, 18, -0.82198102652018e-5},
};

// Subregion 2b: theta = sum n pi^I (10 - sigma)^J.
constexpr Term kR2bTps[] = {
    {-6, 0, 0.31687665083497e6},  {-6, 11, 0.20864175881858e2}, {-5, 0, -0.39859399803599e6},
    {-5, 11, -0.21816058518877e2}, {-4, 0, 0.22369785194242e6}, {-4, 1, -0.27841703445817e4},
    {-4, 11, 0.99207436071480e1}, {-3, 0, -0.75197512299157e5}, {-3, 1, 0.29708605951158e4},
    {-3, 11, -0.34406878548526e1}, {-3, 12, 0.38815564249115},  {-2, 0, 0.17511295085750e5},
    {-2, 1, -0.14237112854449e4}, {-2, 6, 0.10943803364167e1},  {-2, 10, 0.89971619308495},
    {-1, 0, -0.33759740098958e4}, {-1, 1, 0.47162885818355e3},  {-1, 5, -0.19188241993679e1},
    {-1, 8, 0.41078580492196},    {-1, 9, -0.33465378172097},   {0, 0, 0.13870034777505e4},
    {0, 1, -0.40663326195838e3},  {0, 2, 0.41727347159610e2},   {0, 4, 0.21932549434532e1},
    {0, 5, -0.10320050009077e1},  {0, 6, 0.35882943516703},     {0, 9, 0.52511453726066e-2},
    {1, 0, 0.12838916450705e2},   {1, 1, -0.28642437219381e1},  {1, 2, 0.56912683664855},
    {1, 3, -0.99962954584931e-1}, {1, 7, -0.32632037778459e-2}, {1, 8, 0.23320922576723e-3},
    {2, 0, -0.15334809857450},    {2, 1, 0.29072288239902e-1},  {2, 5, 0.37534702741167e-3},
    {3, 0, 0.17296691702411e-2},  {3, 1, -0.38556050844504e-3}, {3, 3, -0.35017712292608e-4},
    {4, 0, -0.14566393631492e-4}, {4, 1, 0.56420857267269e-5},  {5, 0, 0.41286150074605e-7},
    {5, 1, -0.20684671118824e-7}, {5, 2, 0.16409393674725e-8},
};

// Subregion 2c: theta = sum n pi^I (2 - sigma)^J.
constexpr Term kR2cTps[] = {
    {-2, 0, 0.90968501005365e3},  {-2, 1, 0.24045667088420e4},  {-1, 0, -0.59162326387130e3},
    {0, 0, 0.54145404128074e3},   {0, 1, -0.27098308411192e3},  {0, 2, 0.97976525097926e3},
    {0, 3, -0.46966772959435e3},  {1, 0, 0.14399274604723e2},   {1, 1, -0.19104204230429e2},
    {1, 3, 0.53299167111971e1},   {1, 4, -0.21252975375934e2},  {2, 0, -0.31147334413760},
    {2, 1, 0.60334840894623},     {2, 2, -0.42764839702509e-1}, {3, 0, 0.58185597255259e-2},
    {3, 1, -0.14597008284753e-1}, {3, 5, 0.56631175631027e-2},  {4, 0, -0.76155864584577e-4},
    {4, 1, 0.22440342919332e-3},  {4, 4, -0.12561095013413e-4}, {5, 0, 0.63323132660934e-6},
    {5, 1, -0.20541989675375e-5}, {5, 2, 0.36405370390082e-7},  {6, 0, -0.29759897789215e-8},
    {6, 1, 0.10136618529763e-7},  {7, 0, 0.59925719692351e-11}, {7, 1, -0.20677870105164e-10},
    {7, 3, -0.20874278181886e-10}, {7, 4, 0.10162166825089e-9}, {7, 5, -0.16429828281347e-9},
};

// Region 3 Helmholtz energy: phi = n1 ln(delta) + sum n delta^I tau^J.
constexpr double kR3n1 = 0.10658070028513e1;
constexpr Term kR3[] = {
    {0, 0, -0.15732845290239e2}, {0, 1, 0.20944396974307e2},   {0, 2, -0.76867707878716e1},
    {0, 7, 0.26185947787954e1},  {0, 10, -0.28080781148620e1}, {0, 12, 0.12053369696517e1},
    {0, 23, -0.84566812812502e-2}, {1, 2, -0.12654315477714e1}, {1, 6, -0.11524407806681e1},
    {1, 15, 0.88521043984318},   {1, 17, -0.64207765181607},   {2, 0, 0.38493460186671},
    {2, 2, -0.85214708824206},   {2, 6, 0.48972281541877e1},   {2, 7, -0.30502617256965e1},
    {2, 22, 0.39420536879154e-1}, {2, 26, 0.12558408424308},   {3, 0, -0.27999329698710},
    {3, 2, 0.13899799569460e1},  {3, 4, -0.20189915023570e1},  {3, 16, -0.82147637173963e-2},
    {3, 26, -0.47596035734923},  {4, 0, 0.43984074473500e-1},  {4, 2, -0.44476435428739},
    {4, 4, 0.90572070719733},    {4, 26, 0.70522450087967},    {5, 1, 0.10770512626332},
    {5, 3, -0.32913623258954},   {5, 26, -0.50871062041158},   {6, 0, -0.22175400873096e-1},
    {6, 2, 0.94260751665092e-1}, {6, 26, 0.16436278447961},    {7, 2, -0.13503372241348e-1},
    {8, 26, -0.14834345352472e-1}, {9, 2, 0.57922953628084e-3}, {9, 26, 0.32308904703711e-2},
    {10, 0, 0.80964802996215e-4}, {10, 1, -0.16557679795037e-3}, {11, 26, -0.44923899061815e-4},
};

// Region 3 backward T(p, h), subregion 3a: theta = sum n (pi + 0.240)^I (eta - 0.615)^J.
constexpr Term kR3aTph[] = {
    {-12, 0, -0.133645667811215e-6}, {-12, 1, 0.455912656802978e-5}, {-12, 2, -0.146294640700979e-4},
    {-12, 6, 0.639341312970080e-2},  {-12, 14, 0.372783927268847e3}, {-12, 16, -0.718654377460447e4},
    {-12, 20, 0.573494752103400e6},  {-12, 22, -0.267569329111439e7}, {-10, 1, -0.334066283302614e-4},
    {-10, 5, -0.245479214069597e-1}, {-10, 12, 0.478087847764996e2}, {-8, 0, 0.764664131818904e-5},
    {-8, 2, 0.128350627676972e-2},   {-8, 4, 0.171219081377331e-1},  {-8, 10, -0.851007304583213e1},
    {-5, 2, -0.136513461629781e-1},  {-3, 0, -0.384460997596657e-5}, {-2, 1, 0.337423807911655e-2},
    {-2, 3, -0.551624873066791},     {-2, 4, 0.729202277107470},     {-1, 0, -0.992522757376041e-2},
    {-1, 2, -0.119308831407288},     {0, 0, 0.793929190615421},      {0, 1, 0.454270731799386},
    {1, 1, 0.209998591259910},       {3, 0, -0.642109823904738e-2},  {3, 1, -0.235155868604540e-1},
    {4, 0, 0.252233108341612e-2},    {4, 3, -0.764885133368119e-2},  {10, 4, 0.136176427574291e-1},
    {12, 5, -0.133027883575669e-1},
};

// Subregion 3b: theta = sum n (pi + 0.298)^I (eta - 0.720)^J.
constexpr Term kR3bTph[] = {
    {-12, 0, 0.323254573644920e-4}, {-12, 1, -0.127575556587181e-3}, {-10, 0, -0.475851877356068e-3},
    {-10, 1, 0.156183014181602e-2}, {-10, 5, 0.105724860113781},     {-10, 10, -0.858514221132534e2},
    {-10, 12, 0.724140095480911e3}, {-8, 0, 0.296475810273257e-2},   {-8, 1, -0.592721983365988e-2},
    {-8, 2, -0.126305422818666e-1}, {-8, 4, -0.115716196364853},     {-8, 10, 0.849000969739595e2},
    {-6, 0, -0.108602260086615e-1}, {-6, 1, 0.154304475328851e-1},   {-6, 2, 0.750455441524466e-1},
    {-4, 0, 0.252520973612982e-1},  {-4, 1, -0.602507901232996e-1},  {-3, 5, -0.307622221350501e1},
    {-2, 0, -0.574011959864879e-1}, {-2, 4, 0.503471360939849e1},    {-1, 2, -0.925081888584834},
    {-1, 4, 0.391733882917546e1},   {-1, 6, -0.773146007130190e2},   {-1, 10, 0.949308762098587e4},
    {-1, 14, -0.141043719679409e7}, {-1, 16, 0.849166230819026e7},   {0, 0, 0.861095729446704},
    {0, 2, 0.323346442811720},      {1, 1, 0.873281936020439},       {3, 1, -0.436653048526683},
    {5, 1, 0.286596714529479},      {6, 1, -0.131778331276228},      {8, 1, 0.676682064330275e-2},
};

// Region 3 backward v(p, h), subregion 3a: omega = sum n (pi + 0.128)^I (eta - 0.727)^J.
constexpr Term kR3aVph[] = {
    {-12, 6, 0.529944062966028e-2},  {-12, 8, -0.170099690234461},    {-12, 12, 0.111323814312927e2},
    {-12, 18, -0.217898123145125e4}, {-10, 4, -0.506061827980875e-3}, {-10, 7, 0.556495239685324},
    {-10, 10, -0.943672726094016e1}, {-8, 5, -0.297856807561527},     {-8, 12, 0.939353943717186e2},
    {-6, 3, 0.192944939465981e-1},   {-6, 4, 0.421740664704763},      {-6, 22, -0.368914126282330e7},
    {-4, 2, -0.737566847600639e-2},  {-4, 3, -0.354753242424366},     {-3, 7, -0.199768169338727e1},
    {-2, 3, 0.115456297059049e1},    {-2, 16, 0.568366875815960e4},   {-1, 0, 0.808169540124668e-2},
    {-1, 1, 0.172416341519307},      {-1, 2, 0.104270175292927e1},    {-1, 3, -0.297691372792847},
    {0, 0, 0.560394465163593},       {0, 1, 0.275234661176914},       {1, 0, -0.148347894866012},
    {1, 1, -0.651142513478515e-1},   {1, 2, -0.292468715386302e1},    {2, 0, 0.664876096952665e-1},
    {2, 2, 0.352335014263844e1},     {3, 0, -0.146340792313332e-1},   {4, 2, -0.224503486668184e1},
    {5, 2, 0.110533464706142e1},     {8, 2, -0.408757344495612e-1},
};

// Subregion 3b: omega = sum n (pi + 0.0661)^I (eta - 0.720)^J.
constexpr Term kR3bVph[] = {
    {-12, 0, -0.225196934336318e-8}, {-12, 1, 0.140674363313486e-7}, {-8, 0, 0.233784085280560e-5},
    {-8, 1, -0.331833715229001e-4},  {-8, 3, 0.107956778514318e-2},  {-8, 6, -0.271382067378863},
    {-8, 7, 0.107202262490333e1},    {-8, 8, -0.853821329075382},    {-6, 0, -0.215214194340526e-4},
    {-6, 1, 0.769656088222730e-3},   {-6, 2, -0.431136580433864e-2}, {-6, 5, 0.453342167309331},
    {-6, 6, -0.507749535873652},     {-6, 10, -0.100475154528389e3}, {-4, 3, -0.219201924648793},
    {-4, 6, -0.321087965668917e1},   {-4, 10, 0.607567815637771e3},  {-3, 0, 0.557686450685932e-3},
    {-3, 2, 0.187499040029550},      {-2, 1, 0.905368030448107e-2},  {-2, 2, 0.285417173048685},
    {-1, 0, 0.329924030996098e-1},   {-1, 1, 0.239897419685483},     {-1, 4, 0.482754995951394e1},
    {-1, 5, -0.118035753702231e2},   {0, 0, 0.169490044091791},      {1, 0, -0.179967222507787e-1},
    {1, 1, 0.371810116332674e-1},    {2, 2, -0.536288335065096e-1},  {2, 6, 0.160697101092520e1},
};

// Region 3 backward T(p, s), subregion 3a: theta = sum n (pi + 0.240)^I (sigma - 0.703)^J.
constexpr Term kR3aTps[] = {
    {-12, 28, 0.150042008263875e10}, {-12, 32, -0.159397258480424e12}, {-10, 4, 0.502181140217975e-3},
    {-10, 10, -0.672057767855466e2}, {-10, 12, 0.145058545404456e4},   {-10, 14, -0.823889534888890e4},
    {-8, 5, -0.154852214233853},     {-8, 7, 0.112305046746695e2},     {-8, 8, -0.297000213482822e2},
    {-8, 28, 0.438565132635495e11},  {-6, 2, 0.137837838635464e-2},    {-6, 6, -0.297478527157462e1},
    {-6, 32, 0.971777947349413e13},  {-5, 0, -0.571527767052398e-4},   {-5, 14, 0.288307949778420e5},
    {-5, 32, -0.744428289262703e14}, {-4, 6, 0.128017324848921e2},     {-4, 10, -0.368275545889071e3},
    {-4, 36, 0.664768904779177e16},  {-2, 1, 0.449359251958880e-1},    {-2, 4, -0.422897836099655e1},
    {-1, 1, -0.240614376434179},     {-1, 6, -0.474341365254924e1},    {0, 0, 0.724093999126110},
    {0, 1, 0.923874349695897},       {0, 4, 0.399043655281015e1},      {1, 0, 0.384066651868009e-1},
    {2, 0, -0.359344365571848e-2},   {2, 3, -0.735196448821653},       {3, 2, 0.188367048396131},
    {8, 0, 0.141064266818704e-3},    {8, 1, -0.257418501496337e-2},    {10, 2, 0.123220024851555e-2},
};

// Subregion 3b: theta = sum n (pi + 0.760)^I (sigma - 0.818)^J.
constexpr Term kR3bTps[] = {
    {-12, 1, 0.527111701601660},    {-12, 3, -0.401317830052742e2}, {-12, 4, 0.153020073134484e3},
    {-12, 7, -0.224799398218827e4}, {-8, 0, -0.193993484669048},    {-8, 1, -0.140467557893768e1},
    {-8, 3, 0.426799878114024e2},   {-6, 0, 0.752810643416743},     {-6, 2, 0.226657238616417e2},
    {-6, 4, -0.622873556909932e3},  {-5, 0, -0.660823667935396},    {-5, 1, 0.841267087271658},
    {-5, 2, -0.253717501764397e2},  {-5, 4, 0.485708963532948e3},   {-5, 6, 0.880531517490555e3},
    {-4, 12, 0.265015592794626e7},  {-3, 1, -0.359287150025783},    {-3, 6, -0.656991567673753e3},
    {-2, 2, 0.241768149185367e1},   {0, 0, 0.856873461222588},      {2, 1, 0.655143675313458},
    {3, 1, -0.213535213206406},     {4, 0, 0.562974957606348e-2},   {5, 24, -0.316955725450471e15},
    {6, 0, -0.699997000152457e-3},  {8, 3, 0.119845803210767e-1},   {12, 1, 0.193848122022095e-4},
    {14, 2, -0.215095749182309e-4},
};

// Region 3 backward v(p, s), subregion 3b: omega = sum n (pi + 0.298)^I (sigma - 0.816)^J.
// (Subregion 3a takes its volume from the basic equation at the backward
// temperature, see v3_ps.)
constexpr Term kR3bVps[] = {
    {-12, 0, 0.591599780322238e-4},  {-12, 1, -0.185465997137856e-2}, {-12, 2, 0.104190510480013e-1},
    {-12, 3, 0.598647302038590e-2},  {-12, 5, -0.771391189901699},    {-12, 6, 0.172549765557036e1},
    {-10, 0, -0.467076079846526e-3}, {-10, 1, 0.134533823384439e-1},  {-10, 2, -0.808094336805495e-1},
    {-10, 4, 0.508139374365767},     {-8, 0, 0.128584643361683e-2},   {-5, 1, -0.163899353915435e1},
    {-5, 2, 0.586938199318063e1},    {-5, 3, -0.292466667918613e1},   {-4, 0, -0.614076301499537e-2},
    {-4, 1, 0.576199014049172e1},    {-4, 2, -0.121613320606788e2},   {-4, 3, 0.167637540957944e1},
    {-3, 1, -0.744135838773463e1},   {-2, 0, 0.378168091437659e-1},   {-2, 1, 0.401432203027688e1},
    {-2, 2, 0.160279837479185e2},    {-2, 3, 0.317848779347728e1},    {-2, 4, -0.358362310304853e1},
    {-2, 12, -0.115995260446827e7},  {0, 0, 0.199256573577909},       {0, 1, -0.122270624794624},
    {0, 2, -0.191449143716586e2},    {1, 0, -0.150448002905284e-1},   {1, 2, 0.146407900162154e2},
    {2, 2, -0.327477787188230e1},
};

// Saturation pressure on the region-3 part of the line from h:
// pi = sum n (eta - 1.02)^I (eta - 0.608)^J.
constexpr Term kPsat3h[] = {
    {0, 0, 0.600073641753024},     {1, 1, -0.936203654849857e1},  {1, 3, 0.246590798594147e2},
    {1, 4, -0.107014222858224e3},  {1, 36, -0.915821315805768e14}, {5, 3, -0.862332011700662e4},
    {7, 0, -0.235837344740032e2},  {8, 24, 0.252304969384128e18}, {14, 16, -0.389718771997719e19},
    {20, 16, -0.333775713645296e23}, {22, 3, 0.356499469636328e11}, {24, 18, -0.148547544720641e27},
    {28, 8, 0.330611514838798e19}, {36, 24, 0.813641294467829e38},
};

// Region 5 ideal-gas part: gamma0 = ln pi + sum n tau^J.
constexpr int kR5J0[] = {0, 1, -3, -2, -1, 2};
constexpr double kR5n0[] = {-0.13179983674201e2, 0.68540841634434e1, -0.24805148933466e-1,
                            0.36901534980333,    -0.31161318213925e1, -0.32961626538917};
// Region 5 residual part: gammar = sum n pi^I tau^J.
constexpr Term kR5r[] = {
    {1, 1, 0.15736404855259e-2}, {1, 2, 0.90153761673944e-3}, {1, 3, -0.50270077677648e-2},
    {2, 3, 0.22440037409485e-5}, {2, 9, -0.41163275453471e-5}, {3, 7, 0.37919454822955e-7},
};

// Saturation-pressure equation.
constexpr double kN4[] = {0.11670521452767e4,  -0.72421316703206e6, -0.17073846940092e2,
                          0.12020824702470e5,  -0.32325550322333e7, 0.14915108613530e2,
                          -0.48232657361591e4, 0.40511340542057e6,  -0.23855557567849,
                          0.65017534844798e3};

// B23 boundary.
constexpr double kB23[] = {0.34805185628969e3, -0.11671859879975e1, 0.10192970039326e-2,
                           0.57254459862746e3, 0.13918839778870e2};
// B2bc boundary.
constexpr double kB2bc[] = {0.90584278514723e3, -0.67955786399241, 0.12809002730136e-3,
                            0.26526571908428e4, 0.45257578905948e1};
// 3a/3b boundary in (p, h).
constexpr double kB3ab[] = {0.201464004206875e4, 0.374696550136983e1, -0.219921901054187e-1,
                            0.875131686009950e-4};

// ---------------------------------------------------------------------------
// Power tables and polynomial sums
// ---------------------------------------------------------------------------

struct Range {
  int lo, hi;
};

template <size_t N>
constexpr Range i_range(const Term (&t)[N]) {
  Range r{t[0].I, t[0].I};
  for (const Term& e : t) {
    r.lo = std::min(r.lo, e.I);
    r.hi = std::max(r.hi, e.I);
  }
  return r;
}
template <size_t N>
constexpr Range j_range(const Term (&t)[N]) {
  Range r{t[0].J, t[0].J};
  for (const Term& e : t) {
    r.lo = std::min(r.lo, e.J);
    r.hi = std::max(r.hi, e.J);
  }
  return r;
}

// x^k for k in [lo, hi]; when the table has no negative exponent the entries
// below zero are only ever multiplied by a zero factor and are set to 0, so a
// base of exactly zero is harmless.
constexpr int kMaxPow = 128;
struct Powers {
  double v[kMaxPow];
  int lo;
  // Four interleaved multiplication chains (x^k = x^(k-4) x^4) keep the
  // dependency chain short, which is what the time of a long table is.
  static void run(double* out, double x, int n) {  // out[k] = x^k, k = 0..n
    out[0] = 1.0;
    if (n >= 1) out[1] = x;
    if (n >= 2) out[2] = x * x;
    if (n >= 3) out[3] = out[2] * x;
    const double x4 = (x * x) * (x * x);
    for (int k = 4; k <= n; ++k) out[k] = out[k - 4] * x4;
  }
  void fill(double x, int lo_, int hi, bool negative_needed) {
    lo = lo_;
    run(v - lo, x, hi);
    if (negative_needed) {
      double neg[kMaxPow];
      run(neg, 1.0 / x, -lo);
      for (int k = -1; k >= lo; --k) v[k - lo] = neg[-k];
    } else {
      for (int k = -1; k >= lo; --k) v[k - lo] = 0.0;
    }
  }
  double operator[](int k) const { return v[k - lo]; }
};

// Value only: sum n x^I y^J.
template <const auto& t>
double sum_value(double x, double y) {
  constexpr Range ri = i_range(t), rj = j_range(t);
  Powers px, py;
  px.fill(x, std::min(ri.lo, 0), std::max(ri.hi, 0), ri.lo < 0);
  py.fill(y, std::min(rj.lo, 0), std::max(rj.hi, 0), rj.lo < 0);
  double f = 0;
  for (const Term& e : t) f += e.n * px[e.I] * py[e.J];
  return f;
}

// Sum and its derivatives up to second (optionally third) order in x and y.
struct Sums {
  double f = 0, fx = 0, fy = 0, fxx = 0, fxy = 0, fyy = 0;
  double fxxx = 0, fxxy = 0, fxyy = 0, fyyy = 0;
};

// Per-term factors of the first and second derivatives, built at compile time.
struct Factors {
  double n, nI, nJ, nII, nIJ, nJJ;
};
template <const auto& t>
constexpr auto make_factors() {
  std::array<Factors, std::size(t)> f{};
  for (size_t k = 0; k < std::size(t); ++k) {
    const double n = t[k].n, I = t[k].I, J = t[k].J;
    f[k] = {n, n * I, n * J, n * I * (I - 1), n * I * J, n * J * (J - 1)};
  }
  return f;
}
template <const auto& t>
inline constexpr auto kFactors = make_factors<t>();

template <const auto& t>
Sums sum_derivatives(double x, double y, bool third) {
  constexpr Range ri = i_range(t), rj = j_range(t);
  constexpr const auto& fac = kFactors<t>;
  Powers px, py;
  px.fill(x, std::min(ri.lo - 3, 0), std::max(ri.hi, 0), ri.lo < 0);
  py.fill(y, std::min(rj.lo - 3, 0), std::max(rj.hi, 0), rj.lo < 0);
  Sums s;
  for (size_t k = 0; k < std::size(t); ++k) {
    const int I = t[k].I, J = t[k].J;
    const Factors& c = fac[k];
    const double x0 = px[I], x1 = px[I - 1], y0 = py[J], y1 = py[J - 1];
    s.f += c.n * x0 * y0;
    s.fx += c.nI * x1 * y0;
    s.fy += c.nJ * x0 * y1;
    s.fxx += c.nII * px[I - 2] * y0;
    s.fxy += c.nIJ * x1 * y1;
    s.fyy += c.nJJ * x0 * py[J - 2];
  }
  if (third) {
    for (const Term& e : t) {
      const double I = e.I, J = e.J;
      s.fxxx += e.n * I * (I - 1) * (I - 2) * px[e.I - 3] * py[e.J];
      s.fxxy += e.n * I * (I - 1) * J * px[e.I - 2] * py[e.J - 1];
      s.fxyy += e.n * I * J * (J - 1) * px[e.I - 1] * py[e.J - 2];
      s.fyyy += e.n * J * (J - 1) * (J - 2) * px[e.I] * py[e.J - 3];
    }
  }
  return s;
}

// The sum and its first derivatives only (what v, h and s need), with the
// same per-term arithmetic and order as sum_derivatives, so the values agree
// with the full evaluation bit for bit.
template <const auto& t>
Sums sum_first(double x, double y) {
  constexpr Range ri = i_range(t), rj = j_range(t);
  constexpr const auto& fac = kFactors<t>;
  Powers px, py;
  px.fill(x, std::min(ri.lo - 1, 0), std::max(ri.hi, 0), ri.lo < 0);
  py.fill(y, std::min(rj.lo - 1, 0), std::max(rj.hi, 0), rj.lo < 0);
  Sums s;
  for (size_t k = 0; k < std::size(t); ++k) {
    const int I = t[k].I, J = t[k].J;
    const Factors& c = fac[k];
    const double x0 = px[I], y0 = py[J];
    s.f += c.n * x0 * y0;
    s.fx += c.nI * px[I - 1] * y0;
    s.fy += c.nJ * x0 * py[J - 1];
  }
  return s;
}

// The first two x derivatives only (the pressure of region 3 and its density
// derivative), with the same per-term arithmetic and order as
// sum_derivatives.
template <const auto& t>
Sums sum_x_derivatives(double x, double y) {
  constexpr Range ri = i_range(t), rj = j_range(t);
  constexpr const auto& fac = kFactors<t>;
  Powers px, py;
  px.fill(x, std::min(ri.lo - 2, 0), std::max(ri.hi, 0), ri.lo < 0);
  py.fill(y, std::min(rj.lo, 0), std::max(rj.hi, 0), rj.lo < 0);
  Sums s;
  for (size_t k = 0; k < std::size(t); ++k) {
    const int I = t[k].I;
    const Factors& c = fac[k];
    const double y0 = py[t[k].J];
    s.fx += c.nI * px[I - 1] * y0;
    s.fxx += c.nII * px[I - 2] * y0;
  }
  return s;
}

// The sum and its first two y derivatives (what h, s and cp of a Gibbs
// region need) for a series of calls at one x: the Newton iterations on
// temperature at fixed pressure form the per-term factors n x^I once.
template <const auto& t>
struct FixedX {
  double a[std::size(t)];
  explicit FixedX(double x) {
    constexpr Range ri = i_range(t);
    Powers px;
    px.fill(x, std::min(ri.lo, 0), std::max(ri.hi, 0), ri.lo < 0);
    for (size_t k = 0; k < std::size(t); ++k) a[k] = t[k].n * px[t[k].I];
  }
  Sums y_derivatives(double y) const {
    constexpr Range rj = j_range(t);
    Powers py;
    py.fill(y, std::min(rj.lo - 2, 0), std::max(rj.hi, 0), rj.lo < 0);
    Sums s;
    for (size_t k = 0; k < std::size(t); ++k) {
      const double J = t[k].J;
      s.f += a[k] * py[t[k].J];
      s.fy += a[k] * J * py[t[k].J - 1];
      s.fyy += a[k] * J * (J - 1) * py[t[k].J - 2];
    }
    return s;
  }
};

bool finite(double x) { return std::isfinite(x); }

// ---------------------------------------------------------------------------
// Gibbs-energy regions: properties from gamma(pi, tau) and its derivatives
// ---------------------------------------------------------------------------

struct Gamma {
  double g, gp, gpp, gt, gtt, gpt;  // gamma and derivatives in pi and tau
  double gttt = 0, gptt = 0;
};

bool gibbs_props(double p, double T, double pstar, double tau, const Gamma& G, detail::Props& o,
                 bool third) {
  State& st = o.st;
  st.T = T;
  st.p = p;
  st.v = kR * T * G.gp / pstar;
  st.h = kR * T * tau * G.gt;
  st.u = st.h - p * st.v;
  st.s = kR * (tau * G.gt - G.g);
  st.cp = -kR * tau * tau * G.gtt;
  const double a = G.gp - tau * G.gpt;
  const double den = a * a / (tau * tau * G.gtt) - G.gpp;
  const double w2 = kR * T * G.gp * G.gp / den;
  st.w = w2 > 0 ? std::sqrt(w2) : 0.0;
  o.g = kR * T * G.g;
  o.dv_dT = kR * a / pstar;
  o.dv_dp = kR * T * G.gpp / (pstar * pstar);
  if (third) {
    o.dcp_dT = kR * tau * (2 * tau * G.gtt + tau * tau * G.gttt) / T;
    o.dcp_dp = -kR * tau * tau * G.gptt / pstar;
  }
  return finite(st.v) && finite(st.h) && finite(st.s) && finite(st.cp) && finite(o.g) &&
         st.v > 0 && w2 > 0 && finite(o.dcp_dT) && finite(o.dcp_dp);
}

bool valid_pT(double p, double T) { return finite(p) && finite(T) && p > 0 && T > 0; }

// Ideal-gas part of regions 2 and 5: ln(pi) + sum n tau^J, derivatives in tau.
struct Ideal {
  double g, gt, gtt, gttt;
};
template <size_t N>
Ideal ideal_part(const int (&J)[N], const double (&n)[N], double n01, double n02, double pi,
                 double tau) {
  Ideal r{std::log(pi), 0, 0, 0};
  for (size_t k = 0; k < N; ++k) {
    const double nk = k == 0 ? n01 : (k == 1 ? n02 : n[k]);
    const double j = J[k];
    const double t = std::pow(tau, J[k] - 3);  // J[k] in [-5, 3]
    r.g += nk * t * tau * tau * tau;
    r.gt += nk * j * t * tau * tau;
    r.gtt += nk * j * (j - 1) * t * tau;
    r.gttt += nk * j * (j - 1) * (j - 2) * t;
  }
  return r;
}

// Region 2 ideal part with its integer powers of tau from -8 to 3 built by
// multiplication (the hot path of region 2).
Ideal ideal2_ln(double ln_pi, double tau, bool metastable) {
  const double n01 = metastable ? kR2metaN01 : kR2n0[0];
  const double n02 = metastable ? kR2metaN02 : kR2n0[1];
  Powers pt;
  pt.fill(tau, -8, 3, true);
  Ideal r{ln_pi, 0, 0, 0};
  for (size_t k = 0; k < std::size(kR2J0); ++k) {
    const double nk = k == 0 ? n01 : (k == 1 ? n02 : kR2n0[k]);
    const int J = kR2J0[k];
    const double j = J;
    r.g += nk * pt[J];
    r.gt += nk * j * pt[J - 1];
    r.gtt += nk * j * (j - 1) * pt[J - 2];
    r.gttt += nk * j * (j - 1) * (j - 2) * pt[J - 3];
  }
  return r;
}
Ideal ideal2(double pi, double tau, bool metastable) {
  return ideal2_ln(std::log(pi), tau, metastable);
}

// v, h, s and u of a Gibbs region from gamma, gamma_pi and gamma_tau (as
// gibbs_props computes them).
bool gibbs_vhs(double p, double T, double pstar, double tau, double g, double gp, double gt,
               StateVHS& st) {
  st.T = T;
  st.p = p;
  st.v = kR * T * gp / pstar;
  st.h = kR * T * tau * gt;
  st.u = st.h - p * st.v;
  st.s = kR * (tau * gt - g);
  return finite(st.v) && finite(st.h) && finite(st.s) && st.v > 0;
}

bool region1_vhs(double p, double T, StateVHS& st) {
  if (!valid_pT(p, T)) return false;
  constexpr double pstar = 16.53e6, Tstar = 1386.0;
  const double pi = p / pstar, tau = Tstar / T;
  const Sums s = sum_first<kR1>(7.1 - pi, tau - 1.222);
  st.region = 1;
  st.quality = 0;
  return gibbs_vhs(p, T, pstar, tau, s.f, -s.fx, s.fy, st);
}

bool region2_vhs(double p, double T, StateVHS& st) {
  if (!valid_pT(p, T)) return false;
  constexpr double pstar = 1e6, Tstar = 540.0;
  const double pi = p / pstar, tau = Tstar / T;
  const Ideal id = ideal2(pi, tau, false);
  const Sums s = sum_first<kR2r>(pi, tau - 0.5);
  st.region = 2;
  st.quality = 1;
  return gibbs_vhs(p, T, pstar, tau, id.g + s.f, 1.0 / pi + s.fx, id.gt + s.fy, st);
}

}  // namespace

// ---------------------------------------------------------------------------
// Basic equations (detail API)
// ---------------------------------------------------------------------------
namespace detail {

bool region1(double p, double T, Props& o, bool third) {
  if (!valid_pT(p, T)) return false;
  constexpr double pstar = 16.53e6, Tstar = 1386.0;
  const double pi = p / pstar, tau = Tstar / T;
  const Sums s = sum_derivatives<kR1>(7.1 - pi, tau - 1.222, third);
  Gamma G{s.f, -s.fx, s.fxx, s.fy, s.fyy, -s.fxy, s.fyyy, -s.fxyy};
  if (!gibbs_props(p, T, pstar, tau, G, o, third)) return false;
  o.st.region = 1;
  o.st.quality = 0;
  return true;
}

bool region2(double p, double T, bool metastable, Props& o, bool third) {
  if (!valid_pT(p, T)) return false;
  constexpr double pstar = 1e6, Tstar = 540.0;
  const double pi = p / pstar, tau = Tstar / T;
  const Ideal id = ideal2(pi, tau, metastable);
  const Sums s = metastable ? sum_derivatives<kR2meta>(pi, tau - 0.5, third)
                            : sum_derivatives<kR2r>(pi, tau - 0.5, third);
  Gamma G{id.g + s.f,   1.0 / pi + s.fx, -1.0 / (pi * pi) + s.fxx, id.gt + s.fy,
          id.gtt + s.fyy, s.fxy,         id.gttt + s.fyyy,         s.fxyy};
  if (!gibbs_props(p, T, pstar, tau, G, o, third)) return false;
  o.st.region = 2;
  o.st.quality = 1;
  return true;
}

bool region5(double p, double T, Props& o, bool third) {
  if (!valid_pT(p, T)) return false;
  constexpr double pstar = 1e6, Tstar = 1000.0;
  const double pi = p / pstar, tau = Tstar / T;
  const Ideal id = ideal_part(kR5J0, kR5n0, kR5n0[0], kR5n0[1], pi, tau);
  const Sums s = sum_derivatives<kR5r>(pi, tau, third);
  Gamma G{id.g + s.f,    1.0 / pi + s.fx, -1.0 / (pi * pi) + s.fxx, id.gt + s.fy,
          id.gtt + s.fyy, s.fxy,          id.gttt + s.fyyy,         s.fxyy};
  if (!gibbs_props(p, T, pstar, tau, G, o, third)) return false;
  o.st.region = 5;
  o.st.quality = 1;
  return true;
}

namespace {
struct Phi {
  double f, d, dd, t, tt, dt;
  double ddd = 0, ddt = 0, dtt = 0, ttt = 0;
};
Phi phi3(double delta, double tau, bool third) {
  const Sums s = sum_derivatives<kR3>(delta, tau, third);
  Phi r{kR3n1 * std::log(delta) + s.f,
        kR3n1 / delta + s.fx,
        -kR3n1 / (delta * delta) + s.fxx,
        s.fy,
        s.fyy,
        s.fxy};
  if (third) {
    r.ddd = 2 * kR3n1 / (delta * delta * delta) + s.fxxx;
    r.ddt = s.fxxy;
    r.dtt = s.fxyy;
    r.ttt = s.fyyy;
  }
  return r;
}
// Pressure and its density derivative on an isotherm.
void p3(double rho, double T, double& p, double& dp_drho) {
  const double delta = rho / kRhoc, tau = kTc / T;
  const Sums s = sum_x_derivatives<kR3>(delta, tau);
  const double fd = kR3n1 / delta + s.fx, fdd = -kR3n1 / (delta * delta) + s.fxx;
  p = rho * kR * T * delta * fd;
  dp_drho = kR * T * (2 * delta * fd + delta * delta * fdd);
}
}  // namespace

bool region3(double rho, double T, Props& o, bool third) {
  if (!(finite(rho) && finite(T) && rho > 0 && T > 0)) return false;
  const double delta = rho / kRhoc, tau = kTc / T;
  const Phi F = phi3(delta, tau, third);
  State& st = o.st;
  st.T = T;
  st.v = 1.0 / rho;
  st.p = rho * kR * T * delta * F.d;
  st.u = kR * T * tau * F.t;
  st.h = kR * T * (tau * F.t + delta * F.d);
  st.s = kR * (tau * F.t - F.f);
  const double X = delta * F.d - delta * tau * F.dt;
  const double Y = 2 * delta * F.d + delta * delta * F.dd;
  const double cv = -kR * tau * tau * F.tt;
  st.cp = cv + kR * X * X / Y;
  const double w2 = kR * T * (Y - X * X / (tau * tau * F.tt));
  st.w = w2 > 0 ? std::sqrt(w2) : 0.0;
  st.region = 3;
  st.quality = rho >= kRhoc ? 0.0 : 1.0;
  o.g = kR * T * (F.f + delta * F.d);
  const double dp_drho = kR * T * Y;      // (dp/drho)_T
  const double dp_dT = rho * kR * X;      // (dp/dT)_rho
  o.dv_dT = dp_dT / (rho * rho * dp_drho);
  o.dv_dp = -1.0 / (rho * rho * dp_drho);
  if (third) {
    // cp/R = -tau^2 phi_tt + X^2 / Y as a function of (delta, tau).
    const double Xt = -delta * tau * F.dtt;
    const double Yt = 2 * delta * F.dt + delta * delta * F.ddt;
    const double Xd = F.d + delta * F.dd - tau * F.dt - delta * tau * F.ddt;
    const double Yd = 2 * F.d + 4 * delta * F.dd + delta * delta * F.ddd;
    const double cp_t =
        kR * (-2 * tau * F.tt - tau * tau * F.ttt + (2 * X * Xt * Y - X * X * Yt) / (Y * Y));
    const double cp_d = kR * (-tau * tau * F.dtt + (2 * X * Xd * Y - X * X * Yd) / (Y * Y));
    const double ddelta_dT_p = -dp_dT / dp_drho / kRhoc;
    o.dcp_dT = cp_t * (-tau / T) + cp_d * ddelta_dT_p;
    o.dcp_dp = cp_d / (kRhoc * dp_drho);
  }
  return finite(st.p) && finite(st.h) && finite(st.s) && finite(st.cp) && finite(o.g) &&
         finite(o.dv_dT) && finite(o.dv_dp) && finite(o.dcp_dT) && finite(o.dcp_dp) && w2 > 0 &&
         dp_drho > 0;
}

// Density root of region 3 at (p, T). The liquid branch is approached by
// Newton steps from a dense start (the isotherm is convex there), the vapour
// branch from the ideal-gas density (concave there); steps are limited to
// 25 % of the density, and once the root is bracketed a step that leaves the
// bracket is replaced by bisection. A start that meets dp/drho <= 0 before
// the root is bracketed has no root on its branch.
bool region3_density(double p, double T, Branch branch, double& rho) {
  if (!(valid_pT(p, T))) return false;
  const bool super = T >= kTc;
  // At 800 kg/m3 every region-3 isotherm is above 100 MPa and still well
  // inside the range where the equation behaves (it turns over near 900).
  constexpr double kRhoDense = 800.0;
  double x = (branch == Branch::Liquid && !super) ? kRhoDense : p / (kR * T);
  // Below the critical temperature the vapour root is lighter and the liquid
  // root denser than the critical density.
  auto on_branch = [&](double r) {
    return super || (branch == Branch::Vapour ? r < kRhoc : r > kRhoc);
  };
  double lo = 0, hi = 0;
  bool have_lo = false, have_hi = false;
  if (super) {
    // One root: bracket it between a light density (Z < 1 there) and a dense one.
    lo = 0.5 * p / (kR * T);
    hi = kRhoDense;
    have_lo = have_hi = true;
  }
  for (int it = 0; it < 200; ++it) {
    double f, fp;
    p3(x, T, f, fp);
    f -= p;
    if (!finite(f) || !finite(fp)) return false;
    if (f > 0) {
      hi = x;
      have_hi = true;
    } else {
      lo = x;
      have_lo = true;
    }
    // The residual at round-off: x is the root (near the critical point
    // dp/drho is tiny and the step can stall above round-off).
    if (std::abs(f) <= 1e-13 * p) {
      if (!(fp > 0) || !on_branch(x)) return false;
      rho = x;
      return true;
    }
    double xn;
    if (have_lo && have_hi) {
      xn = fp > 0 ? x - f / fp : 0.5 * (lo + hi);
      if (!(xn >= lo && xn <= hi)) xn = 0.5 * (lo + hi);
    } else {
      if (!(fp > 0)) return false;
      xn = x - f / fp;
      xn = std::clamp(xn, 0.75 * x, 1.25 * x);
    }
    // Converged when the step is at round-off.
    if (std::abs(xn - x) <= 1e-12 * x || (have_lo && have_hi && hi - lo <= 1e-12 * x)) {
      double pp, dp;
      p3(xn, T, pp, dp);
      if (!(dp > 0) || !on_branch(xn)) return false;
      rho = xn;
      return true;
    }
    x = xn;
  }
  return false;
}

void ideal_gas(double p, double T, double& g_over_RT, double& h_ig) {
  const double pi = p / 1e6;
  if (T > kT25) {  // region 5's own ideal-gas part beyond region 2's range
    const double tau = 1000.0 / T;
    const Ideal id = ideal_part(kR5J0, kR5n0, kR5n0[0], kR5n0[1], pi, tau);
    g_over_RT = id.g;
    h_ig = kR * T * tau * id.gt;
    return;
  }
  const double tau = 540.0 / T;
  const Ideal id = ideal2(pi, tau, false);
  g_over_RT = id.g;
  h_ig = kR * T * tau * id.gt;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Saturation line and boundaries
// ---------------------------------------------------------------------------
namespace {

double psat_unchecked(double T) {
  const double* n = kN4;
  const double th = T + n[8] / (T - n[9]);
  const double A = th * th + n[0] * th + n[1];
  const double B = n[2] * th * th + n[3] * th + n[4];
  const double C = n[5] * th * th + n[6] * th + n[7];
  const double z = 2 * C / (-B + std::sqrt(B * B - 4 * A * C));
  return z * z * z * z * 1e6;
}

double tsat_unchecked(double p) {
  const double* n = kN4;
  const double beta = std::sqrt(std::sqrt(p / 1e6));
  const double E = beta * beta + n[2] * beta + n[5];
  const double F = n[0] * beta * beta + n[3] * beta + n[6];
  const double G = n[1] * beta * beta + n[4] * beta + n[7];
  const double D = 2 * G / (-F - std::sqrt(F * F - 4 * E * G));
  return 0.5 * (n[9] + D - std::sqrt((n[9] + D) * (n[9] + D) - 4 * (n[8] + n[9] * D)));
}

double b23_p_unchecked(double T) { return (kB23[0] + kB23[1] * T + kB23[2] * T * T) * 1e6; }
double b23_T_unchecked(double p) { return kB23[3] + std::sqrt((p / 1e6 - kB23[4]) / kB23[2]); }
double b2bc_p_unchecked(double h) {
  const double e = h / 1e3;
  return (kB2bc[0] + kB2bc[1] * e + kB2bc[2] * e * e) * 1e6;
}
double b3ab_h_unchecked(double p) {
  const double pi = p / 1e6;
  return (kB3ab[0] + pi * (kB3ab[1] + pi * (kB3ab[2] + pi * kB3ab[3]))) * 1e3;
}

const double kPsatTmin = psat_unchecked(kTmin);  // ~611.2 Pa
const double kPs13 = psat_unchecked(kT13);       // ~16.529 MPa

}  // namespace

Status psat(double T, double& p) {
  if (!(T >= kTmin - kTminTolerance && T <= kTc)) return Status::OutOfRange;
  p = psat_unchecked(T);
  return finite(p) ? Status::Ok : Status::OutOfRange;
}

Status dpsat_dT(double T, double& dp_dT) {
  if (!(T >= kTmin - kTminTolerance && T <= kTc)) return Status::OutOfRange;
  const double* n = kN4;
  const double th = T + n[8] / (T - n[9]);
  const double dth = 1 - n[8] / ((T - n[9]) * (T - n[9]));
  const double A = th * th + n[0] * th + n[1], dA = 2 * th + n[0];
  const double B = n[2] * th * th + n[3] * th + n[4], dB = 2 * n[2] * th + n[3];
  const double C = n[5] * th * th + n[6] * th + n[7], dC = 2 * n[5] * th + n[6];
  const double D = std::sqrt(B * B - 4 * A * C);
  const double dD = (2 * B * dB - 4 * (dA * C + A * dC)) / (2 * D);
  const double den = -B + D, dden = -dB + dD;
  const double z = 2 * C / den;
  const double dz = (2 * dC * den - 2 * C * dden) / (den * den);
  dp_dT = 4 * z * z * z * dz * dth * 1e6;
  return finite(dp_dT) ? Status::Ok : Status::OutOfRange;
}

Status tsat(double p, double& T) {
  if (!(p >= kPsatTmin * (1 - 1e-12) && p <= kPc)) return Status::OutOfRange;
  T = tsat_unchecked(p);
  return finite(T) ? Status::Ok : Status::OutOfRange;
}

Status b23_p(double T, double& p) {
  if (!(T >= kT13 && T <= 863.15)) return Status::OutOfRange;
  p = b23_p_unchecked(T);
  return Status::Ok;
}
Status b23_T(double p, double& T) {
  if (!(p >= kPs13 * (1 - 1e-9) && p <= kPmax)) return Status::OutOfRange;
  T = b23_T_unchecked(p);
  return finite(T) ? Status::Ok : Status::OutOfRange;
}
Status b2bc_h(double p, double& h) {
  if (!(p >= 6.5e6 && p <= kPmax)) return Status::OutOfRange;
  h = (kB2bc[3] + std::sqrt((p / 1e6 - kB2bc[4]) / kB2bc[2])) * 1e3;
  return finite(h) ? Status::Ok : Status::OutOfRange;
}
Status b2bc_p(double h, double& p) {
  if (!(h >= 2.7e6 && h <= 3.6e6)) return Status::OutOfRange;
  p = b2bc_p_unchecked(h);
  return Status::Ok;
}
Status b3ab_h(double p, double& h) {
  if (!(p >= kPs13 * (1 - 1e-9) && p <= kPmax)) return Status::OutOfRange;
  h = b3ab_h_unchecked(p);
  return Status::Ok;
}

// ---------------------------------------------------------------------------
// Raw backward equations
// ---------------------------------------------------------------------------
namespace {

double t1_ph(double p, double h) { return sum_value<kR1Tph>(p / 1e6, h / 2500e3 + 1.0); }
double t1_ps(double p, double s) { return sum_value<kR1Tps>(p / 1e6, s / 1e3 + 2.0); }

double t2_ph(double p, double h) {
  const double pi = p / 1e6, eta = h / 2000e3;
  if (p <= 4e6) return sum_value<kR2aTph>(pi, eta - 2.1);
  if (p <= b2bc_p_unchecked(h)) return sum_value<kR2bTph>(pi - 2.0, eta - 2.6);
  return sum_value<kR2cTph>(pi + 25.0, eta - 1.8);
}

double t2_ps(double p, double s) {
  const double pi = p / 1e6;
  if (p <= 4e6) {
    // I is a multiple of 1/4: powers of pi^(1/4).
    return sum_value<kR2aTps>(std::sqrt(std::sqrt(pi)), s / 2e3 - 2.0);
  }
  if (s >= 5.85e3) return sum_value<kR2bTps>(pi, 10.0 - s / 0.7853e3);
  return sum_value<kR2cTps>(pi, 2.0 - s / 2.9251e3);
}

bool is3a_h(double p, double h) { return h <= b3ab_h_unchecked(p); }

double t3_ph(double p, double h) {
  const double pi = p / 100e6;
  if (is3a_h(p, h)) return 760.0 * sum_value<kR3aTph>(pi + 0.240, h / 2300e3 - 0.615);
  return 860.0 * sum_value<kR3bTph>(pi + 0.298, h / 2800e3 - 0.720);
}
double v3_ph(double p, double h) {
  const double pi = p / 100e6;
  if (is3a_h(p, h)) return 0.0028 * sum_value<kR3aVph>(pi + 0.128, h / 2100e3 - 0.727);
  return 0.0088 * sum_value<kR3bVph>(pi + 0.0661, h / 2800e3 - 0.720);
}
double t3_ps(double p, double s) {
  const double pi = p / 100e6;
  if (s <= kS3ab) return 760.0 * sum_value<kR3aTps>(pi + 0.240, s / 4.4e3 - 0.703);
  return 860.0 * sum_value<kR3bTps>(pi + 0.760, s / 5.3e3 - 0.818);
}
// In subregion 3a (the liquid-like side, s <= s_c) the volume is the dense
// root of the basic equation at the backward temperature T3a(p, s); in 3b the
// explicit equation. Returns NaN when 3a has no dense root there.
double v3_ps(double p, double s) {
  const double pi = p / 100e6;
  if (s <= kS3ab) {
    double rho;
    const double T = t3_ps(p, s);
    if (!detail::region3_density(p, T, Branch::Liquid, rho)) return NAN;
    return 1.0 / rho;
  }
  return 0.0088 * sum_value<kR3bVps>(pi + 0.298, s / 5.3e3 - 0.816);
}

bool backward_inputs_ok(double p, double x) {
  return finite(p) && finite(x) && p > 0 && p <= kPmax * (1 + 1e-12);
}

Status result(double value, double& out) {
  if (!finite(value) || !(value > 0)) return Status::OutOfRange;
  out = value;
  return Status::Ok;
}

}  // namespace

Status backward_T_ph(int region, double p, double h, double& T) {
  if (!backward_inputs_ok(p, h)) return Status::OutOfRange;
  switch (region) {
    case 1: return result(t1_ph(p, h), T);
    case 2: return result(t2_ph(p, h), T);
    case 3: return p >= kPs13 * (1 - 1e-9) ? result(t3_ph(p, h), T) : Status::OutOfRange;
    default: return Status::OutOfRange;
  }
}

Status backward_T_ps(int region, double p, double s, double& T) {
  if (!backward_inputs_ok(p, s)) return Status::OutOfRange;
  switch (region) {
    case 1: return result(t1_ps(p, s), T);
    case 2: return result(t2_ps(p, s), T);
    case 3: return p >= kPs13 * (1 - 1e-9) ? result(t3_ps(p, s), T) : Status::OutOfRange;
    default: return Status::OutOfRange;
  }
}

Status backward_v3_ph(double p, double h, double& v) {
  if (!backward_inputs_ok(p, h) || p < kPs13 * (1 - 1e-9)) return Status::OutOfRange;
  return result(v3_ph(p, h), v);
}
Status backward_v3_ps(double p, double s, double& v) {
  if (!backward_inputs_ok(p, s) || p < kPs13 * (1 - 1e-9)) return Status::OutOfRange;
  return result(v3_ps(p, s), v);
}
Status backward_psat3_h(double h, double& p) {
  if (!(finite(h) && h >= 1.6e6 && h <= 2.7e6)) return Status::OutOfRange;
  return result(22e6 * sum_value<kPsat3h>(h / 2600e3 - 1.02, h / 2600e3 - 0.608), p);
}


// ---------------------------------------------------------------------------
// Public region-by-region evaluation
// ---------------------------------------------------------------------------

Status region1_pT(double p, double T, State& st) {
  detail::Props o;
  if (!detail::region1(p, T, o, false)) return Status::OutOfRange;
  st = o.st;
  return Status::Ok;
}
Status region2_pT(double p, double T, State& st) {
  detail::Props o;
  if (!detail::region2(p, T, false, o, false)) return Status::OutOfRange;
  st = o.st;
  return Status::Ok;
}
Status region2_metastable_pT(double p, double T, State& st) {
  detail::Props o;
  if (!detail::region2(p, T, true, o, false)) return Status::OutOfRange;
  st = o.st;
  return Status::Ok;
}
Status region5_pT(double p, double T, State& st) {
  detail::Props o;
  if (!detail::region5(p, T, o, false)) return Status::OutOfRange;
  st = o.st;
  return Status::Ok;
}
Status region3_rhoT(double rho, double T, State& st) {
  detail::Props o;
  if (!detail::region3(rho, T, o, false)) return Status::OutOfRange;
  st = o.st;
  return Status::Ok;
}
Status region3_pT(double p, double T, Branch branch, State& st) {
  double rho;
  if (!detail::region3_density(p, T, branch, rho)) return Status::NoConvergence;
  detail::Props o;
  if (!detail::region3(rho, T, o, false)) return Status::NoConvergence;
  st = o.st;
  st.p = p;  // the iterated pressure equals p to round-off
  return Status::Ok;
}

// ---------------------------------------------------------------------------
// States over the whole range
// ---------------------------------------------------------------------------
namespace {

bool in_range_pT(double p, double T) {
  if (!(finite(p) && finite(T))) return false;
  if (!(p > 0 && p <= kPmax)) return false;
  if (!(T >= kTmin - kTminTolerance && T <= kTmax)) return false;
  if (T > kT25 && p > kPmax5) return false;
  return true;
}

// Stable-region choice at (p, T) inside the range.
int region_pT(double p, double T) {
  if (T > kT25) return 5;
  if (T <= kT13) return p >= psat_unchecked(std::max(T, kTmin)) ? 1 : 2;
  if (T > 863.15 || p <= b23_p_unchecked(T)) return 2;
  return 3;
}

}  // namespace

namespace detail {

bool stable_props(double p, double T, Props& o, bool third) {
  if (!in_range_pT(p, T)) return false;
  switch (region_pT(p, T)) {
    case 1: return detail::region1(p, T, o, third);
    case 2: return detail::region2(p, T, false, o, third);
    case 5: return detail::region5(p, T, o, third);
    default: {
      const Branch b = (T < kTc && p < psat_unchecked(T)) ? Branch::Vapour : Branch::Liquid;
      double rho;
      if (!detail::region3_density(p, T, b, rho)) return false;
      if (!detail::region3(rho, T, o, third)) return false;
      o.st.p = p;
      return true;
    }
  }
}

bool phase_props(double p, double T, Branch b, Props& o, bool third) {
  if (!in_range_pT(p, T)) return false;
  if (T >= kTc) return stable_props(p, T, o, third);
  double rho;
  if (b == Branch::Liquid) {
    if (T <= kT13) return region1(p, T, o, third);
  } else if (T <= kT13 || p <= b23_p_unchecked(T)) {
    return region2(p, T, false, o, third);
  }
  if (!region3_density(p, T, b, rho) || !region3(rho, T, o, third)) return false;
  o.st.p = p;
  return true;
}

}  // namespace detail

namespace {
using detail::stable_props;

// Which property a (p, x) search matches: enthalpy or entropy.
enum class Prop { H, S };
double prop_of(const State& st, Prop k) { return k == Prop::H ? st.h : st.s; }
// Temperature derivative of the property at constant p.
double dprop_dT(const State& st, Prop k) { return k == Prop::H ? st.cp : st.cp / st.T; }

// Newton iteration on T for a Gibbs region at fixed p. The backward
// equations give the start within tens of mK, so one or two steps reach
// round-off; the loop guards against a poor start.
// Newton converges quadratically: once a step is below 1e-6 T the remaining
// error is of order (dcp/dT) dT^2 / cp, under 1e-11 T, so the iteration stops
// after that step. With final_eval the state is evaluated at the returned
// temperature (otherwise `o` holds the state one step earlier), and that
// evaluation's own residual is checked: close to the saturation line, where
// cp varies fastest, a last step of up to 1e-6 T can leave an error of some
// 1e-9 K, and then the iteration goes on until the state's h (or s) is the
// target to round-off.
template <class Eval, class Light>
bool newton_T(Eval eval, const Light& light, double p, double target, Prop k, double T0,
              detail::Props& o, double* T_out = nullptr, bool final_eval = true) {
  double T = T0;
  for (int it = 0; it < 50; ++it) {
    if (!light(p, T, o)) return false;
    const double d = dprop_dT(o.st, k);
    if (!(d > 0)) return false;
    double dT = (prop_of(o.st, k) - target) / d;
    dT = std::clamp(dT, -0.2 * T, 0.2 * T);
    T -= dT;
    if (std::abs(dT) <= 1e-6 * T) {
      if (!final_eval) {
        if (T_out) *T_out = T;
        return finite(T);
      }
      for (int polish = 0; polish < 3; ++polish) {
        if (!eval(p, T, o)) return false;
        const double r = (prop_of(o.st, k) - target) / dprop_dT(o.st, k);
        if (!(std::abs(r) > 2e-13 * T)) break;
        T -= r;
      }
      if (T_out) *T_out = T;
      return true;
    }
  }
  return false;
}

// h, s and cp only (for the Newton iterations at the pressure the evaluator
// was made for; the rest of `o` is stale).
struct Light1 {
  FixedX<kR1> g;
  explicit Light1(double p) : g(7.1 - p / 16.53e6) {}
  bool operator()(double p, double T, detail::Props& o) const {
    if (!valid_pT(p, T)) return false;
    const double tau = 1386.0 / T;
    const Sums s = g.y_derivatives(tau - 1.222);
    o.st.T = T;
    o.st.h = kR * T * tau * s.fy;
    o.st.s = kR * (tau * s.fy - s.f);
    o.st.cp = -kR * tau * tau * s.fyy;
    return finite(o.st.h) && finite(o.st.s) && finite(o.st.cp);
  }
};
struct Light2 {
  FixedX<kR2r> g;
  double ln_pi;
  explicit Light2(double p) : g(p / 1e6), ln_pi(std::log(p / 1e6)) {}
  bool operator()(double p, double T, detail::Props& o) const {
    if (!valid_pT(p, T)) return false;
    const double tau = 540.0 / T;
    const Ideal id = ideal2_ln(ln_pi, tau, false);
    const Sums s = g.y_derivatives(tau - 0.5);
    const double gt = id.gt + s.fy;
    o.st.T = T;
    o.st.h = kR * T * tau * gt;
    o.st.s = kR * (tau * gt - id.g - s.f);
    o.st.cp = -kR * tau * tau * (id.gtt + s.fyy);
    return finite(o.st.h) && finite(o.st.s) && finite(o.st.cp);
  }
};

auto eval1 = [](double p, double T, detail::Props& o) { return detail::region1(p, T, o, false); };
auto eval2 = [](double p, double T, detail::Props& o) {
  return detail::region2(p, T, false, o, false);
};
auto eval5 = [](double p, double T, detail::Props& o) { return detail::region5(p, T, o, false); };

// Region 3 from (p, h) or (p, s): Newton on (rho, T) for
// p(rho, T) = p and h(rho, T) = h (or s), starting at (rho0, T0). With
// final_eval the state at the root is evaluated into `o`; `root` receives the
// density, temperature and the sign of (dp/drho)_T at the last iterate.
struct Root3 {
  double rho = 0, T = 0;
  bool rising = false;  // (dp/drho)_T > 0: a mechanically stable root
};
bool newton3(double p, double target, Prop k, double rho0, double T0, detail::Props& o,
             Root3* root = nullptr, bool final_eval = true) {
  double rho = rho0, T = T0;
  for (int it = 0; it < 100; ++it) {
    const double delta = rho / kRhoc, tau = kTc / T;
    const detail::Phi F = detail::phi3(delta, tau, false);
    const double pp = rho * kR * T * delta * F.d;
    const double X = delta * F.d - delta * tau * F.dt;
    const double Y = 2 * delta * F.d + delta * delta * F.dd;
    const double p_rho = kR * T * Y, p_T = rho * kR * X;
    double x, x_rho, x_T;
    if (k == Prop::H) {
      x = kR * T * (tau * F.t + delta * F.d);
      x_rho = kR * T * (tau * F.dt + F.d + delta * F.dd) / kRhoc;
      x_T = kR * (delta * F.d - tau * tau * F.tt - delta * tau * F.dt);
    } else {
      x = kR * (tau * F.t - F.f);
      x_rho = kR * (tau * F.dt - F.d) / kRhoc;
      x_T = -kR * tau * tau * F.tt / T;
    }
    const double r1 = pp - p, r2 = x - target;
    const double det = p_rho * x_T - p_T * x_rho;
    if (!finite(det) || det == 0) return false;
    double drho = (r1 * x_T - r2 * p_T) / det;
    double dT = (p_rho * r2 - x_rho * r1) / det;
    // Limit the step so the iteration stays in the neighbourhood of the start.
    const double scale = std::max({std::abs(drho) / (0.2 * rho), std::abs(dT) / (0.05 * T), 1.0});
    drho /= scale;
    dT /= scale;
    rho -= drho;
    T -= dT;
    if (!(rho > 0 && T > 0)) return false;
    if (std::abs(drho) <= 1e-12 * rho && std::abs(dT) <= 1e-12 * T) {
      if (root) *root = Root3{rho, T, Y > 0};
      if (!final_eval) return true;
      if (!detail::region3(rho, T, o, false)) return false;
      o.st.p = p;
      return true;
    }
  }
  return false;
}

// Saturated liquid and vapour at p (psat(Tmin) <= p < pc): regions 1 and 2
// below 623.15 K, the two density roots of region 3 above.
bool saturated(double p, detail::Props& liq, detail::Props& vap) {
  const double Ts = tsat_unchecked(p);
  if (!finite(Ts)) return false;
  if (p <= kPs13) {
    return detail::region1(p, Ts, liq, false) && detail::region2(p, Ts, false, vap, false);
  }
  double rl, rv;
  if (!detail::region3_density(p, Ts, Branch::Liquid, rl)) return false;
  if (!detail::region3_density(p, Ts, Branch::Vapour, rv)) return false;
  if (!(rl > rv * (1 + 1e-6))) return false;
  if (!detail::region3(rl, Ts, liq, false) || !detail::region3(rv, Ts, vap, false)) return false;
  liq.st.p = vap.st.p = p;
  return true;
}

void mix(double p, const State& l, const State& g, double x, State& st) {
  st = State{};
  st.p = p;
  st.T = l.T;
  st.quality = x;
  st.v = l.v + x * (g.v - l.v);
  st.h = l.h + x * (g.h - l.h);
  st.s = l.s + x * (g.s - l.s);
  st.u = st.h - p * st.v;
  st.cp = 0;
  st.w = 0;
  st.region = 4;
}

// Fast path for the common single-phase cases: when the backward equation of
// region 2 (or 1) puts the temperature at least 1 K inside that region, refine
// it there and accept it if the converged temperature is inside the region's
// own domain; otherwise the full search below decides. The results are the
// same as the full search's (the margin keeps away from boundary overlaps).
bool fast_single_phase(double p, double target, Prop k, detail::Props& o, double& T,
                       bool final_eval) {
  if (!(finite(p) && finite(target) && p >= kPsatTmin && p <= kPmax)) return false;
  const bool low = p <= kPs13;
  const double Tlow2 = low ? tsat_unchecked(p) : b23_T_unchecked(p);  // region 2 from here
  const double Thigh1 = low ? Tlow2 : kT13;                           // region 1 up to here
  const double T2 = k == Prop::H ? t2_ph(p, target) : t2_ps(p, target);
  if (finite(T2) && T2 > Tlow2 + 1.0 && T2 < kT25 - 1.0) {
    return newton_T(eval2, Light2(p), p, target, k, T2, o, &T, final_eval) && T > Tlow2 &&
           T <= kT25;
  }
  const double T1 = k == Prop::H ? t1_ph(p, target) : t1_ps(p, target);
  if (finite(T1) && T1 < Thigh1 - 1.0 && T1 > kTmin + 1.0) {
    return newton_T(eval1, Light1(p), p, target, k, T1, o, &T, final_eval) && T < Thigh1 &&
           T >= kTmin;
  }
  return false;
}

// Fast path for points well inside region 3: above psat(623.15 K), the
// Newton iteration on the basic equation from the backward starting values
// (the one the full search ends with) converges to a state at least 0.5 K
// inside the region's temperatures (623.15 K to the B23 temperature), and
// below the critical pressure at least 0.5 K from the saturation
// temperature on its stable branch (dense below Tsat, light above). Such a
// state is beyond the boundary overlaps and outside the wet region, so the
// full search would reach the same iteration from the same start: the
// answer is identical and its boundary and saturation states are skipped.
bool fast_region3(double p, double target, Prop k, detail::Props& o, double& T, bool final_eval) {
  if (!(finite(p) && finite(target) && p > kPs13 && p <= kPmax)) return false;
  constexpr double kMargin = 0.5;  // K
  const double Tb = b23_T_unchecked(p);
  const double T0 = k == Prop::H ? t3_ph(p, target) : t3_ps(p, target);
  if (!(T0 > kT13 + kMargin && T0 < Tb - kMargin)) return false;
  const double Ts = p < kPc ? tsat_unchecked(p) : 0.0;
  if (p < kPc && !(std::abs(T0 - Ts) > kMargin)) return false;
  const double v0 = k == Prop::H ? v3_ph(p, target) : v3_ps(p, target);
  if (!(finite(v0) && v0 > 0)) return false;
  Root3 r;
  if (!newton3(p, target, k, 1.0 / v0, T0, o, &r, false)) return false;
  if (!(r.T > kT13 + kMargin && r.T < Tb - kMargin && r.rising)) return false;
  if (p < kPc && !(r.T < Ts - kMargin ? r.rho > kRhoc : r.T > Ts + kMargin && r.rho < kRhoc))
    return false;
  T = r.T;
  if (!final_eval) return true;
  if (!detail::region3(r.rho, r.T, o, false)) return false;
  o.st.p = p;
  return true;
}

// The single-phase region search common to (p, h) and (p, s). On success
// `o` holds the state; for a two-phase point `st` is filled and two_phase set.
Status solve_px(double p, double target, Prop k, detail::Props& o, State& st, bool& two_phase) {
  two_phase = false;
  if (!(finite(p) && finite(target) && p > 0 && p <= kPmax)) return Status::OutOfRange;
  double Tfast;
  if (fast_single_phase(p, target, k, o, Tfast, true)) return Status::Ok;
  if (fast_region3(p, target, k, o, Tfast, true)) return Status::Ok;
  // Wet states below psat(623.15 K) need no boundary states.
  if (p >= kPsatTmin && p <= kPs13) {
    detail::Props l, g;
    if (!saturated(p, l, g)) return Status::NoConvergence;
    const double xl = prop_of(l.st, k), xg = prop_of(g.st, k);
    if (target > xl && target < xg) {
      mix(p, l.st, g.st, (target - xl) / (xg - xl), st);
      two_phase = true;
      return Status::Ok;
    }
  }
  // Lower limit: the state at Tmin (vapour below the triple-point pressure).
  detail::Props lo;
  const double Tlo = kTmin - kTminTolerance;
  if (!(p >= psat_unchecked(Tlo) ? detail::region1(p, Tlo, lo, false)
                                 : detail::region2(p, Tlo, false, lo, false)))
    return Status::OutOfRange;
  if (target < prop_of(lo.st, k)) return Status::OutOfRange;
  // Upper limit: 2273.15 K (p <= 50 MPa) or 1073.15 K. The region-2 and
  // region-5 equations differ slightly at 1073.15 K; a target between their
  // values there goes to region 5 if that gives T > 1073.15 K, else region 2.
  detail::Props top, top5;
  if (!detail::region2(p, kT25, false, top, false)) return Status::OutOfRange;
  if (p <= kPmax5) {
    detail::Props hi5;
    if (!detail::region5(p, kT25, top5, false) || !detail::region5(p, kTmax, hi5, false))
      return Status::OutOfRange;
    if (target > prop_of(hi5.st, k)) return Status::OutOfRange;
    if (target >= std::min(prop_of(top.st, k), prop_of(top5.st, k))) {
      const double T0 = kT25 + (target - prop_of(top5.st, k)) / dprop_dT(top5.st, k);
      const bool ok5 = newton_T(eval5, eval5, p, target, k, std::clamp(T0, kT25, kTmax), o);
      if (ok5 && (o.st.T > kT25 || target > prop_of(top.st, k))) return Status::Ok;
      if (!ok5 && target > prop_of(top.st, k)) return Status::NoConvergence;
    }
  } else if (target > prop_of(top.st, k)) {
    return Status::OutOfRange;
  }
  auto region2_solve = [&]() {
    const double T0 = k == Prop::H ? t2_ph(p, target) : t2_ps(p, target);
    // Far below the backward equations' range (very low p) the start can be
    // wild: keep it inside the region's temperatures.
    return newton_T(eval2, Light2(p), p, target, k, finite(T0) ? std::clamp(T0, kTmin, kT25) : 700.0, o)
               ? Status::Ok
               : Status::NoConvergence;
  };
  auto region1_solve = [&]() {
    const double T0 = k == Prop::H ? t1_ph(p, target) : t1_ps(p, target);
    return newton_T(eval1, Light1(p), p, target, k, finite(T0) ? std::clamp(T0, kTmin, kT13) : 400.0, o)
               ? Status::Ok
               : Status::NoConvergence;
  };
  if (p < psat_unchecked(kTmin)) return region2_solve();  // no liquid at this pressure
  if (p <= kPs13) {
    detail::Props l, g;
    if (!saturated(p, l, g)) return Status::NoConvergence;
    if (target <= prop_of(l.st, k)) return region1_solve();
    if (target >= prop_of(g.st, k)) return region2_solve();
    const double x = (target - prop_of(l.st, k)) / (prop_of(g.st, k) - prop_of(l.st, k));
    mix(p, l.st, g.st, x, st);
    two_phase = true;
    return Status::Ok;
  }
  // Above the saturation pressure at 623.15 K: regions 1, 3 (with the
  // two-phase part below pc) and 2.
  // The neighbouring basic equations differ slightly on the 1/3 (623.15 K)
  // and 2/3 (B23) boundaries: a target between their two values there is
  // given to region 1 (2) when that region's temperature lies on its own
  // side of the boundary, else to region 3.
  detail::Props b13, b23, r3;
  if (!detail::region1(p, kT13, b13, false)) return Status::OutOfRange;
  double lim13 = prop_of(b13.st, k);
  double rho;
  if (detail::region3_density(p, kT13, Branch::Liquid, rho) && detail::region3(rho, kT13, r3, false))
    lim13 = std::max(lim13, prop_of(r3.st, k));
  if (target <= lim13) {
    const Status s1 = region1_solve();
    if (target <= prop_of(b13.st, k) || (s1 == Status::Ok && o.st.T <= kT13)) return s1;
  }
  const double Tb23 = b23_T_unchecked(p);
  if (!detail::region2(p, Tb23, false, b23, false)) return Status::OutOfRange;
  double lim23 = prop_of(b23.st, k);
  const Branch side = Tb23 < kTc ? Branch::Vapour : Branch::Liquid;
  if (detail::region3_density(p, Tb23, side, rho) && detail::region3(rho, Tb23, r3, false))
    lim23 = std::min(lim23, prop_of(r3.st, k));
  if (target >= lim23) {
    const Status s2 = region2_solve();
    if (target >= prop_of(b23.st, k) || (s2 == Status::Ok && o.st.T >= Tb23)) return s2;
  }
  if (p < kPc) {
    detail::Props l, g;
    if (saturated(p, l, g) && target > prop_of(l.st, k) && target < prop_of(g.st, k)) {
      const double x = (target - prop_of(l.st, k)) / (prop_of(g.st, k) - prop_of(l.st, k));
      mix(p, l.st, g.st, x, st);
      two_phase = true;
      return Status::Ok;
    }
  }
  const double T0 = k == Prop::H ? t3_ph(p, target) : t3_ps(p, target);
  const double v0 = k == Prop::H ? v3_ph(p, target) : v3_ps(p, target);
  if (!(finite(T0) && finite(v0) && T0 > 0 && v0 > 0)) return Status::NoConvergence;
  return newton3(p, target, k, 1.0 / v0, T0, o) ? Status::Ok : Status::NoConvergence;
}

Status state_px(double p, double x, Prop k, State& st) {
  detail::Props o;
  bool two_phase = false;
  State mixst;
  const Status s = solve_px(p, x, k, o, mixst, two_phase);
  if (s != Status::Ok) return s;
  st = two_phase ? mixst : o.st;
  return Status::Ok;
}

}  // namespace

Status state_pT(double p, double T, State& st) {
  if (!in_range_pT(p, T)) return Status::OutOfRange;
  detail::Props o;
  if (!stable_props(p, T, o, false)) return Status::NoConvergence;
  st = o.st;
  return Status::Ok;
}

Status state_pT_vhs(double p, double T, StateVHS& st) {
  if (!in_range_pT(p, T)) return Status::OutOfRange;
  bool ok;
  switch (region_pT(p, T)) {
    case 1: ok = region1_vhs(p, T, st); break;
    case 2: ok = region2_vhs(p, T, st); break;
    default: {
      detail::Props o;
      ok = stable_props(p, T, o, false);
      const State& f = o.st;
      st = StateVHS{f.T, f.p, f.v, f.h, f.s, f.u, f.quality, f.region};
    }
  }
  return ok ? Status::Ok : Status::NoConvergence;
}

Status saturation_pressure_s3(double s, double& p) {
  if (!finite(s)) return Status::OutOfRange;
  const bool liquid = s <= kS3ab;
  // s' rises and s'' falls towards the critical point: f(p) = +/-(s_sat - s)
  // increases with p on either side.
  auto f = [&](double pp, double& val) {
    detail::Props l, g;
    if (!saturated(pp, l, g)) return false;
    val = liquid ? l.st.s - s : s - g.st.s;
    return true;
  };
  double lo = kPs13, hi = kPc * (1 - 1e-7), flo, fhi;
  if (!f(lo, flo)) return Status::NoConvergence;
  // Close to the critical point the two density roots merge; step back until
  // they are distinct.
  while (!f(hi, fhi)) {
    hi = kPc - 2 * (kPc - hi);
    if (hi <= lo) return Status::NoConvergence;
  }
  if (!(flo <= 0 && fhi >= 0)) return Status::OutOfRange;
  const host::numeric::RootResult r = host::numeric::bisect(f, lo, hi, 1e-13);
  if (r.status == host::numeric::RootStatus::Failed) return Status::NoConvergence;
  p = r.x;
  return Status::Ok;
}

Status state_ph(double p, double h, State& st) { return state_px(p, h, Prop::H, st); }
Status state_ps(double p, double s, State& st) { return state_px(p, s, Prop::S, st); }

namespace {
Status temperature_px(double p, double x, Prop k, double& T) {
  detail::Props o;
  if (fast_single_phase(p, x, k, o, T, false)) return Status::Ok;
  if (fast_region3(p, x, k, o, T, false)) return Status::Ok;
  State st;
  const Status s = state_px(p, x, k, st);
  if (s == Status::Ok) T = st.T;
  return s;
}
}  // namespace

Status temperature_ph(double p, double h, double& T) { return temperature_px(p, h, Prop::H, T); }
Status temperature_ps(double p, double s, double& T) { return temperature_px(p, s, Prop::S, T); }

namespace {

// Saturated phases at p and the derivatives of their v, h, s along the
// saturation line, d/dp = (d/dp)_T + (d/dT)_p dTsat/dp.
struct SaturationSlopes {
  detail::Props l, g;
  double dvl, dhl, dsl, dvg, dhg, dsg;
};

bool saturation_slopes(double p, SaturationSlopes& d) {
  if (!saturated(p, d.l, d.g)) return false;
  double dpdT;
  if (dpsat_dT(d.l.st.T, dpdT) != Status::Ok) return false;
  const double dTdp = 1.0 / dpdT;
  auto along = [&](const detail::Props& q, double& dv, double& dh, double& ds) {
    dv = q.dv_dp + q.dv_dT * dTdp;
    dh = (q.st.v - q.st.T * q.dv_dT) + q.st.cp * dTdp;
    ds = -q.dv_dT + q.st.cp / q.st.T * dTdp;
  };
  along(d.l, d.dvl, d.dhl, d.dsl);
  along(d.g, d.dvg, d.dhg, d.dsg);
  return true;
}

// On a (p, h) state: s and its partials (ds/dh)_p, (ds/dp)_h. Single-phase
// they are 1/T and -v/T; in the two-phase region they are those of the
// mixture s = s' + x (s'' - s'), x = (h - h') / (h'' - h'), which differ from
// 1/Tsat and -v/Tsat by the small inconsistency between the saturation
// equation and the basic equations.
Status s_partials_ph(double p, double h, State& st, double& ds_dh, double& ds_dp) {
  detail::Props o;
  bool two_phase = false;
  const Status s = solve_px(p, h, Prop::H, o, st, two_phase);
  if (s != Status::Ok) return s;
  if (!two_phase) {
    st = o.st;
    ds_dh = 1.0 / st.T;
    ds_dp = -st.v / st.T;
    return Status::Ok;
  }
  SaturationSlopes d;
  if (!saturation_slopes(p, d)) return Status::NoConvergence;
  const double dh = d.g.st.h - d.l.st.h, ds = d.g.st.s - d.l.st.s;
  const double x = (h - d.l.st.h) / dh;
  const double dx_dp = (-d.dhl - x * (d.dhg - d.dhl)) / dh;
  ds_dh = ds / dh;
  ds_dp = d.dsl + x * (d.dsg - d.dsl) + ds * dx_dp;
  return Status::Ok;
}

// On a (p, s) state: h and its partials (dh/ds)_p, (dh/dp)_s (T and v
// single-phase, the mixture's in the two-phase region).
Status h_partials_ps(double p, double s_in, State& st, double& dh_ds, double& dh_dp) {
  detail::Props o;
  bool two_phase = false;
  const Status s = solve_px(p, s_in, Prop::S, o, st, two_phase);
  if (s != Status::Ok) return s;
  if (!two_phase) {
    st = o.st;
    dh_ds = st.T;
    dh_dp = st.v;
    return Status::Ok;
  }
  SaturationSlopes d;
  if (!saturation_slopes(p, d)) return Status::NoConvergence;
  const double dh = d.g.st.h - d.l.st.h, ds = d.g.st.s - d.l.st.s;
  const double x = (s_in - d.l.st.s) / ds;
  const double dx_dp = (-d.dsl - x * (d.dsg - d.dsl)) / ds;
  dh_ds = dh / ds;
  dh_dp = d.dhl + x * (d.dhg - d.dhl) + dh * dx_dp;
  return Status::Ok;
}

}  // namespace

Status volume_derivatives_ph(double p, double h, VolumeDerivatives& d) {
  detail::Props o;
  State mixst;
  bool two_phase = false;
  const Status s = solve_px(p, h, Prop::H, o, mixst, two_phase);
  if (s != Status::Ok) return s;
  if (!two_phase) {
    // (dv/dh)_p = (dv/dT)_p / cp ; (dv/dp)_h = (dv/dp)_T + (dv/dT)_p (dT/dp)_h
    // with (dT/dp)_h = -(v - T (dv/dT)_p) / cp.
    const State& st = o.st;
    d.v = st.v;
    d.dv_dh = o.dv_dT / st.cp;
    d.dv_dp = o.dv_dp - o.dv_dT * (st.v - st.T * o.dv_dT) / st.cp;
  } else {
    // v = v' + x (v'' - v'), x = (h - h') / (h'' - h'), both saturated states
    // moving along the saturation line.
    SaturationSlopes q;
    if (!saturation_slopes(p, q)) return Status::NoConvergence;
    const double hl = q.l.st.h, dh = q.g.st.h - hl;
    const double x = (h - hl) / dh;
    const double dx_dp = (-q.dhl - x * (q.dhg - q.dhl)) / dh;
    d.v = mixst.v;
    d.dv_dh = (q.g.st.v - q.l.st.v) / dh;
    d.dv_dp = q.dvl + x * (q.dvg - q.dvl) + (q.g.st.v - q.l.st.v) * dx_dp;
  }
  return finite(d.v) && finite(d.dv_dh) && finite(d.dv_dp) ? Status::Ok : Status::NoConvergence;
}

Status isentropic_work(double Pa, double Pb, double h, double G, IsentropicWork& w) {
  if (!finite(G)) return Status::OutOfRange;
  State a, b;
  double ds_dh, ds_dpa, dh_ds, dh_dpb;
  Status s = s_partials_ph(Pa, h, a, ds_dh, ds_dpa);
  if (s != Status::Ok) return s;
  s = h_partials_ps(Pb, a.s, b, dh_ds, dh_dpb);
  if (s != Status::Ok) return s;
  // W = G (h - hb(Pb, sa(Pa, h))): chain rule through the outlet's (dh/ds)_p
  // and (dh/dp)_s and the inlet's (ds/dh)_p and (ds/dp)_h.
  w.out = b;
  w.h_out = b.h;
  w.W = G * (h - b.h);
  w.dW_dG = h - b.h;
  w.dW_dh = G * (1.0 - dh_ds * ds_dh);
  w.dW_dPa = -G * dh_ds * ds_dpa;
  w.dW_dPb = -G * dh_dpb;
  const bool ok = finite(w.W) && finite(w.dW_dh) && finite(w.dW_dPa) && finite(w.dW_dPb);
  return ok ? Status::Ok : Status::NoConvergence;
}

}  // namespace r3::steam
