! Fortran 2008 interfaces to the ZEL library's upper-case entry points.
!
! Every routine works on one current database (made by zel_create or
! zel_create_from_zel) and sets its last argument, status, to 0 on success
! and 1 on failure. Each character argument is followed by its length,
! passed by value:
!
!   use zel
!   character(len=80) :: title
!   call zel_set_header(title, len(title), ...)
!
! Trailing blanks of a text are dropped; nothing past the given length is
! read. Load cases and degrees of freedom count from 1; 3 x 3 matrices are
! in column order, as Fortran stores them.
module zel
  use, intrinsic :: iso_c_binding, only: c_int, c_double, c_char
  implicit none
  private
  public :: zel_create, zel_create_from_zel, zel_terminate, zel_set_node_coordinates, &
            zel_set_node_coordinates_vec, zel_set_nodal_mass, &
            zel_set_global_mass, zel_set_nodal_inertia, &
            zel_set_nodal_inertia_vec, zel_set_nodal_inertia_mat, &
            zel_set_nodal_inertia_entry, zel_set_face, zel_set_face_2, &
            zel_set_face_3, zel_set_face_4, zel_set_face_5, zel_set_face_6, &
            zel_set_face_7, zel_set_face_8, zel_set_interface_node, &
            zel_set_mode_shape, zel_set_mode_shape_vec, &
            zel_set_mode_shape_entry, zel_set_modal_stress, &
            zel_set_modal_stress_vec, zel_set_modal_strain, &
            zel_set_modal_strain_vec, zel_get_modal_stress, &
            zel_get_modal_strain, zel_get_mode_count, &
            zel_get_transform_to_selmod, zel_set_generalized_mass, &
            zel_set_generalized_damping, zel_set_generalized_stiffness, &
            zel_set_modal_preload, zel_set_modal_load, zel_set_loadcase_label, &
            zel_set_header, zel_set_units, zel_units_si_multipliers, &
            zel_set_invar1, zel_set_invar2, zel_set_invar3, zel_set_invar4, &
            zel_set_invar5, zel_set_invar6, zel_set_invar7, zel_set_invar8, &
            zel_set_invar9, zel_write_zel, zel_write_ansys_zel

  interface
    subroutine zel_create(nodes, modes, status) bind(C, name='ZEL_CREATE')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: nodes
      integer(c_int), intent(in) :: modes
      integer(c_int), intent(out) :: status
    end subroutine zel_create

    subroutine zel_create_from_zel(path, length, status) bind(C, name='ZEL_CREATE_FROM_ZEL')
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*)
      integer(c_int), value :: length
      integer(c_int), intent(out) :: status
    end subroutine zel_create_from_zel

    subroutine zel_terminate(status) bind(C, name='ZEL_TERMINATE')
      import :: c_int, c_double, c_char
      integer(c_int), intent(out) :: status
    end subroutine zel_terminate

    subroutine zel_set_node_coordinates(id, x, y, z, status) bind(C, &
        name='ZEL_SET_NODE_COORDINATES')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: x
      real(c_double), intent(in) :: y
      real(c_double), intent(in) :: z
      integer(c_int), intent(out) :: status
    end subroutine zel_set_node_coordinates

    subroutine zel_set_node_coordinates_vec(id, xyz, status) bind(C, &
        name='ZEL_SET_NODE_COORDINATES_VEC')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: xyz(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_node_coordinates_vec

    subroutine zel_set_nodal_mass(id, mass, status) bind(C, name='ZEL_SET_NODAL_MASS')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: mass
      integer(c_int), intent(out) :: status
    end subroutine zel_set_nodal_mass

    subroutine zel_set_global_mass(mass, cm, inertia, status) bind(C, name='ZEL_SET_GLOBAL_MASS')
      import :: c_int, c_double, c_char
      real(c_double), intent(in) :: mass
      real(c_double), intent(in) :: cm(*)
      real(c_double), intent(in) :: inertia(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_global_mass

    subroutine zel_set_nodal_inertia(id, ixx, iyy, izz, ixy, ixz, iyz, status) bind(C, &
        name='ZEL_SET_NODAL_INERTIA')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: ixx
      real(c_double), intent(in) :: iyy
      real(c_double), intent(in) :: izz
      real(c_double), intent(in) :: ixy
      real(c_double), intent(in) :: ixz
      real(c_double), intent(in) :: iyz
      integer(c_int), intent(out) :: status
    end subroutine zel_set_nodal_inertia

    subroutine zel_set_nodal_inertia_vec(id, values, status) bind(C, &
        name='ZEL_SET_NODAL_INERTIA_VEC')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_nodal_inertia_vec

    subroutine zel_set_nodal_inertia_mat(id, matrix, status) bind(C, &
        name='ZEL_SET_NODAL_INERTIA_MAT')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: matrix(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_nodal_inertia_mat

    subroutine zel_set_nodal_inertia_entry(id, row, col, value, status) bind(C, &
        name='ZEL_SET_NODAL_INERTIA_ENTRY')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      integer(c_int), intent(in) :: row
      integer(c_int), intent(in) :: col
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_nodal_inertia_entry

    subroutine zel_set_face(n, ids, status) bind(C, name='ZEL_SET_FACE')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: n
      integer(c_int), intent(in) :: ids(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face

    subroutine zel_set_face_2(a, b, status) bind(C, name='ZEL_SET_FACE_2')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_2

    subroutine zel_set_face_3(a, b, c, status) bind(C, name='ZEL_SET_FACE_3')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(in) :: c
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_3

    subroutine zel_set_face_4(a, b, c, d, status) bind(C, name='ZEL_SET_FACE_4')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(in) :: c
      integer(c_int), intent(in) :: d
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_4

    subroutine zel_set_face_5(a, b, c, d, e, status) bind(C, name='ZEL_SET_FACE_5')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(in) :: c
      integer(c_int), intent(in) :: d
      integer(c_int), intent(in) :: e
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_5

    subroutine zel_set_face_6(a, b, c, d, e, f, status) bind(C, name='ZEL_SET_FACE_6')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(in) :: c
      integer(c_int), intent(in) :: d
      integer(c_int), intent(in) :: e
      integer(c_int), intent(in) :: f
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_6

    subroutine zel_set_face_7(a, b, c, d, e, f, g, status) bind(C, name='ZEL_SET_FACE_7')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(in) :: c
      integer(c_int), intent(in) :: d
      integer(c_int), intent(in) :: e
      integer(c_int), intent(in) :: f
      integer(c_int), intent(in) :: g
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_7

    subroutine zel_set_face_8(a, b, c, d, e, f, g, h, status) bind(C, name='ZEL_SET_FACE_8')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(in) :: c
      integer(c_int), intent(in) :: d
      integer(c_int), intent(in) :: e
      integer(c_int), intent(in) :: f
      integer(c_int), intent(in) :: g
      integer(c_int), intent(in) :: h
      integer(c_int), intent(out) :: status
    end subroutine zel_set_face_8

    subroutine zel_set_interface_node(id, status) bind(C, name='ZEL_SET_INTERFACE_NODE')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: id
      integer(c_int), intent(out) :: status
    end subroutine zel_set_interface_node

    subroutine zel_set_mode_shape(number, id, v1, v2, v3, v4, v5, v6, status) bind(C, &
        name='ZEL_SET_MODE_SHAPE')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: v1
      real(c_double), intent(in) :: v2
      real(c_double), intent(in) :: v3
      real(c_double), intent(in) :: v4
      real(c_double), intent(in) :: v5
      real(c_double), intent(in) :: v6
      integer(c_int), intent(out) :: status
    end subroutine zel_set_mode_shape

    subroutine zel_set_mode_shape_vec(number, id, values, status) bind(C, &
        name='ZEL_SET_MODE_SHAPE_VEC')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_mode_shape_vec

    subroutine zel_set_mode_shape_entry(number, id, dof, value, status) bind(C, &
        name='ZEL_SET_MODE_SHAPE_ENTRY')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      integer(c_int), intent(in) :: dof
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_mode_shape_entry

    subroutine zel_set_modal_stress(number, id, v1, v2, v3, v4, v5, v6, status) bind(C, &
        name='ZEL_SET_MODAL_STRESS')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: v1
      real(c_double), intent(in) :: v2
      real(c_double), intent(in) :: v3
      real(c_double), intent(in) :: v4
      real(c_double), intent(in) :: v5
      real(c_double), intent(in) :: v6
      integer(c_int), intent(out) :: status
    end subroutine zel_set_modal_stress

    subroutine zel_set_modal_stress_vec(number, id, values, status) bind(C, &
        name='ZEL_SET_MODAL_STRESS_VEC')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_modal_stress_vec

    subroutine zel_set_modal_strain(number, id, v1, v2, v3, v4, v5, v6, status) bind(C, &
        name='ZEL_SET_MODAL_STRAIN')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: v1
      real(c_double), intent(in) :: v2
      real(c_double), intent(in) :: v3
      real(c_double), intent(in) :: v4
      real(c_double), intent(in) :: v5
      real(c_double), intent(in) :: v6
      integer(c_int), intent(out) :: status
    end subroutine zel_set_modal_strain

    subroutine zel_set_modal_strain_vec(number, id, values, status) bind(C, &
        name='ZEL_SET_MODAL_STRAIN_VEC')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_modal_strain_vec

    subroutine zel_get_modal_stress(number, id, s1, s2, s3, s4, s5, s6, status) bind(C, &
        name='ZEL_GET_MODAL_STRESS')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(out) :: s1
      real(c_double), intent(out) :: s2
      real(c_double), intent(out) :: s3
      real(c_double), intent(out) :: s4
      real(c_double), intent(out) :: s5
      real(c_double), intent(out) :: s6
      integer(c_int), intent(out) :: status
    end subroutine zel_get_modal_stress

    subroutine zel_get_modal_strain(number, id, s1, s2, s3, s4, s5, s6, status) bind(C, &
        name='ZEL_GET_MODAL_STRAIN')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      integer(c_int), intent(in) :: id
      real(c_double), intent(out) :: s1
      real(c_double), intent(out) :: s2
      real(c_double), intent(out) :: s3
      real(c_double), intent(out) :: s4
      real(c_double), intent(out) :: s5
      real(c_double), intent(out) :: s6
      integer(c_int), intent(out) :: status
    end subroutine zel_get_modal_strain

    subroutine zel_get_mode_count(count, status) bind(C, name='ZEL_GET_MODE_COUNT')
      import :: c_int, c_double, c_char
      integer(c_int), intent(out) :: count
      integer(c_int), intent(out) :: status
    end subroutine zel_get_mode_count

    subroutine zel_get_transform_to_selmod(t, selected, nsel, status) bind(C, &
        name='ZEL_GET_TRANSFORM_TO_SELMOD')
      import :: c_int, c_double, c_char
      real(c_double), intent(out) :: t(*)
      integer(c_int), intent(in) :: selected(*)
      integer(c_int), intent(in) :: nsel
      integer(c_int), intent(out) :: status
    end subroutine zel_get_transform_to_selmod

    subroutine zel_set_generalized_mass(row, col, value, status) bind(C, &
        name='ZEL_SET_GENERALIZED_MASS')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: row
      integer(c_int), intent(in) :: col
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_generalized_mass

    subroutine zel_set_generalized_damping(row, col, value, status) bind(C, &
        name='ZEL_SET_GENERALIZED_DAMPING')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: row
      integer(c_int), intent(in) :: col
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_generalized_damping

    subroutine zel_set_generalized_stiffness(row, col, value, status) bind(C, &
        name='ZEL_SET_GENERALIZED_STIFFNESS')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: row
      integer(c_int), intent(in) :: col
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_generalized_stiffness

    subroutine zel_set_modal_preload(number, value, status) bind(C, name='ZEL_SET_MODAL_PRELOAD')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_modal_preload

    subroutine zel_set_modal_load(load_case, number, value, status) bind(C, &
        name='ZEL_SET_MODAL_LOAD')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: load_case
      integer(c_int), intent(in) :: number
      real(c_double), intent(in) :: value
      integer(c_int), intent(out) :: status
    end subroutine zel_set_modal_load

    subroutine zel_set_loadcase_label(load_case, label, length, status) bind(C, &
        name='ZEL_SET_LOADCASE_LABEL')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: load_case
      character(kind=c_char), intent(in) :: label(*)
      integer(c_int), value :: length
      integer(c_int), intent(out) :: status
    end subroutine zel_set_loadcase_label

    subroutine zel_set_header(title, title_length, input_name, input_name_length, input_type, &
        input_type_length, comment1, comment1_length, comment2, comment2_length, comment3, &
        comment3_length, status) bind(C, name='ZEL_SET_HEADER')
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: title(*)
      integer(c_int), value :: title_length
      character(kind=c_char), intent(in) :: input_name(*)
      integer(c_int), value :: input_name_length
      character(kind=c_char), intent(in) :: input_type(*)
      integer(c_int), value :: input_type_length
      character(kind=c_char), intent(in) :: comment1(*)
      integer(c_int), value :: comment1_length
      character(kind=c_char), intent(in) :: comment2(*)
      integer(c_int), value :: comment2_length
      character(kind=c_char), intent(in) :: comment3(*)
      integer(c_int), value :: comment3_length
      integer(c_int), intent(out) :: status
    end subroutine zel_set_header

    subroutine zel_set_units(mass, mass_length, length, length_length, time, time_length, &
        force, force_length, status) bind(C, name='ZEL_SET_UNITS')
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: mass(*)
      integer(c_int), value :: mass_length
      character(kind=c_char), intent(in) :: length(*)
      integer(c_int), value :: length_length
      character(kind=c_char), intent(in) :: time(*)
      integer(c_int), value :: time_length
      character(kind=c_char), intent(in) :: force(*)
      integer(c_int), value :: force_length
      integer(c_int), intent(out) :: status
    end subroutine zel_set_units

    subroutine zel_units_si_multipliers(mass, length, time, force, status) bind(C, &
        name='ZEL_UNITS_SI_MULTIPLIERS')
      import :: c_int, c_double, c_char
      real(c_double), intent(in) :: mass
      real(c_double), intent(in) :: length
      real(c_double), intent(in) :: time
      real(c_double), intent(in) :: force
      integer(c_int), intent(out) :: status
    end subroutine zel_units_si_multipliers

    subroutine zel_set_invar1(mass, status) bind(C, name='ZEL_SET_INVAR1')
      import :: c_int, c_double, c_char
      real(c_double), intent(in) :: mass
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar1

    subroutine zel_set_invar2(values, status) bind(C, name='ZEL_SET_INVAR2')
      import :: c_int, c_double, c_char
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar2

    subroutine zel_set_invar3(number, values, status) bind(C, name='ZEL_SET_INVAR3')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar3

    subroutine zel_set_invar4(number, values, status) bind(C, name='ZEL_SET_INVAR4')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar4

    subroutine zel_set_invar5(i, j, values, status) bind(C, name='ZEL_SET_INVAR5')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: i
      integer(c_int), intent(in) :: j
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar5

    subroutine zel_set_invar6(diagonal, status) bind(C, name='ZEL_SET_INVAR6')
      import :: c_int, c_double, c_char
      real(c_double), intent(in) :: diagonal(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar6

    subroutine zel_set_invar7(values, status) bind(C, name='ZEL_SET_INVAR7')
      import :: c_int, c_double, c_char
      real(c_double), intent(in) :: values(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar7

    subroutine zel_set_invar8(number, matrix, status) bind(C, name='ZEL_SET_INVAR8')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: number
      real(c_double), intent(in) :: matrix(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar8

    subroutine zel_set_invar9(i, j, matrix, status) bind(C, name='ZEL_SET_INVAR9')
      import :: c_int, c_double, c_char
      integer(c_int), intent(in) :: i
      integer(c_int), intent(in) :: j
      real(c_double), intent(in) :: matrix(*)
      integer(c_int), intent(out) :: status
    end subroutine zel_set_invar9
    subroutine zel_write_zel(path, length, status) bind(C, name='ZEL_WRITE_ZEL')
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*)
      integer(c_int), value :: length
      integer(c_int), intent(out) :: status
    end subroutine zel_write_zel

    subroutine zel_write_ansys_zel(path, length, a, b, status) bind(C, name='ZEL_WRITE_ANSYS_ZEL')
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*)
      integer(c_int), value :: length
      integer(c_int), intent(in) :: a
      integer(c_int), intent(in) :: b
      integer(c_int), intent(out) :: status
    end subroutine zel_write_ansys_zel

  end interface
end module zel
