! An example translator in Fortran 2008: builds a small flexible body, a
! square plate of 2 x 2 nodes with one face and two modes, through the zel
! module and writes it to the ZEL file named on the command line.
!
!   fortran_translator body.zel
!
! Exit status: 0 when the file was written, 1 when a call failed, 2 for a
! wrong command line.
program fortran_translator
  use, intrinsic :: iso_c_binding, only: c_int, c_double
  use zel
  implicit none

  integer(c_int), parameter :: node_ids(4) = [11, 12, 13, 14]
  real(c_double), parameter :: side = 0.5_c_double
  real(c_double), parameter :: node_mass = 0.25_c_double
  ! Generalized stiffness of the two modes (their eigenvalues, the
  ! generalized masses being 1).
  real(c_double), parameter :: stiffness(2) = [400.0_c_double, 2500.0_c_double]

  character(len=1024) :: path
  character(len=80) :: title, input_name, input_type, comment
  integer(c_int) :: status, nodes, modes, node, mode, failures
  real(c_double) :: xyz(3), shape(6)

  if (command_argument_count() /= 1) then
    write (*, '(a)') 'usage: fortran_translator FILE'
    stop 2
  end if
  call get_command_argument(1, path)

  failures = 0
  nodes = 4
  modes = 2
  call zel_create(nodes, modes, status)
  call check(status)

  title = 'Fortran example plate'
  input_name = 'plate.f90'
  input_type = 'FORTRAN'
  comment = '2 x 2 nodes, two modes'
  call zel_set_header(title, len(title), input_name, len(input_name), input_type, len(input_type), &
                      comment, len(comment), comment, 0, comment, 0, status)
  call check(status)
  call zel_set_units('kg', 2, 'm', 1, 's', 1, 'N', 1, status)
  call check(status)

  do node = 1, 4
    xyz = [side * mod(node - 1, 2), side * ((node - 1) / 2), 0.0_c_double]
    call zel_set_node_coordinates_vec(node_ids(node), xyz, status)
    call check(status)
    call zel_set_nodal_mass(node_ids(node), node_mass, status)
    call check(status)
  end do
  call zel_set_face_4(node_ids(1), node_ids(2), node_ids(4), node_ids(3), status)
  call check(status)
  call zel_set_interface_node(node_ids(1), status)
  call check(status)

  ! Mode 1 lifts the plate evenly; mode 2 tilts it about the x axis.
  do mode = 1, 2
    do node = 1, 4
      shape = 0.0_c_double
      if (mode == 1) then
        shape(3) = 1.0_c_double
      else
        shape(3) = merge(1.0_c_double, -1.0_c_double, node > 2)
      end if
      call zel_set_mode_shape_vec(mode, node_ids(node), shape, status)
      call check(status)
    end do
    call zel_set_generalized_mass(mode, mode, 1.0_c_double, status)
    call check(status)
    call zel_set_generalized_stiffness(mode, mode, stiffness(mode), status)
    call check(status)
  end do

  call zel_write_zel(path, len_trim(path), status)
  call check(status)
  call zel_terminate(status)
  call check(status)
  if (failures > 0) stop 1

contains

  subroutine check(call_status)
    integer(c_int), intent(in) :: call_status
    if (call_status /= 0) failures = failures + 1
  end subroutine check

end program fortran_translator
