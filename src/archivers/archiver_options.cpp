// Defaults and reset of the option set.
#include "archivers/archiver_options.h"

TArchiverOptions::TArchiverOptions() { Reset(); }

void TArchiverOptions::Reset() {
    for (int8_t* b : {&a, &c, &e, &f, &h, &i, &l, &m, &n, &o, &p, &r, &s, &t, &u, &x, &y, &z, &jc, &jd, &je, &jf,
                      &jh, &ji, &jm, &jn, &jp, &jr, &jsb, &jsc, &jsd, &jse, &jsf, &jsl, &jso, &jss, &jst, &jsv, &jsz,
                      &jw, &jyc, &jyd, &jyk, &jyn, &jyo, &ga, &gd, &ge, &gf, &gj, &gm, &gn, &go, &gp, &gs, &gu, &gw,
                      &gya, &gyc, &gyo, &gyq, &gys, &gyx})
        *b = -1;
    for (std::string* t : {&w, &jo, &job, &jz, &gr, &gyd, &gye, &gyt, &gyw}) *t = kUnsetText;
    jx.Clear();
    UserOptions.clear();
    UserFileList.clear();
    ResFileName.clear();
    PackFilter = pfComponent;
    ResFileUsage = kDefaultResFileUsage;
}
