// The program each layer's link check builds: it does nothing, but links
// every object of one layer with only the libraries that layer declares.
int main() {
    return 0;
}
