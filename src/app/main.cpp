// Sarwino: the city directory of Светлоборск.
#include "app/Application.h"
#include "app/WindowSet.h"
#include "ui/main/TForm1.h"

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    WindowSet windows;
    if (!Form1)
        return 1;
    Form1->show();
    return app.exec();
}
