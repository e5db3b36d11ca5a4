# An input whose name has 255 characters, the most a file name may have
printf ">A\nacgt\n>B\nacct\n>C\nagt\n>D\nacgg\n>E\nacgtt\n" > fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff.fas
